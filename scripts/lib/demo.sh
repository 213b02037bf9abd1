# shellcheck shell=bash
# What scripts/demo does to show the resident: read the Wine registry, find a printer's
# target, read the demo programs' record lines, take screenshots, wait for conditions,
# and keep the account of the steps. Needs common.sh and an exported WINEPREFIX.

PRW3_DEMO_STEPS_OK=0
PRW3_DEMO_STEPS_FAILED=()

# prw3_demo_step TITLE: starts a numbered step of the account.
prw3_demo_step() {
  PRW3_DEMO_STEP_NO=$((${PRW3_DEMO_STEP_NO:-0} + 1))
  PRW3_DEMO_STEP_TITLE=$1
  printf '\n%d. %s\n' "$PRW3_DEMO_STEP_NO" "$1"
}

# One observation of the current step.
prw3_demo_saw() { printf '   %s\n' "$*"; }

# Ends the current step: "ok" when it happened, or the reason it did not.
prw3_demo_done() {
  if [[ $1 == ok ]]; then
    PRW3_DEMO_STEPS_OK=$((PRW3_DEMO_STEPS_OK + 1))
  else
    printf '   NOT DONE: %s\n' "$1"
    PRW3_DEMO_STEPS_FAILED+=("$PRW3_DEMO_STEP_NO. $PRW3_DEMO_STEP_TITLE")
  fi
}

# prw3_wait SECONDS COMMAND...: runs the command every 0.1 s until it succeeds.
prw3_wait() {
  local deadline=$((SECONDS + $1))
  shift
  until "$@"; do
    ((SECONDS < deadline)) || return 1
    sleep 0.1
  done
}

# prw3_reg_value KEY NAME: prints the data of a registry value of the prefix.
prw3_reg_value() {
  local out
  out=$(wine reg query "$1" /v "$2" </dev/null 2>/dev/null | tr -d '\r') || return 1
  awk -v name="$2" 'BEGIN { FS = "    " } tolower($2) == tolower(name) { print $4; found = 1 } END { exit !found }' <<<"$out"
}

# prw3_target_key PRINTER: prints the HKCU path of the printer's monitored target.
prw3_target_key() {
  wine reg query 'HKCU\software\OLMAR\PRW3\PRWData\VQLTarget' /s </dev/null 2>/dev/null | tr -d '\r' |
    awk -v name="$1" 'BEGIN { FS = "    " } /^HKEY_/ { key = $0 }
      $2 == "Name" && tolower($4) == tolower(name) { print key; found = 1; exit } END { exit !found }'
}

# prw3_record_field LINE KEY: a field of a demo program's record line (key=value, tabs).
prw3_record_field() {
  tr '\t' '\n' <<<"$1" | sed -n "s/^$2=//p" | head -n 1
}

# prw3_screenshot FILE [GEOMETRY]: the whole screen, or the part WxH+X+Y of it.
prw3_screenshot() {
  local file=$1 crop=${2:-}
  import -display "$DISPLAY" -window root "$file" 2>/dev/null || return 1
  [[ -z $crop ]] || convert "$file" -crop "$crop" +repage "$file"
}

# prw3_x_window PROGRAM [TITLE]: prints WxH+X+Y of the first X window of the Windows
# program (its executable's name, any case) with that title, or without a title and
# larger than 1x1 (a pop-up menu). Fails when there is none.
prw3_x_window() {
  xwininfo -root -tree -display "$DISPLAY" 2>/dev/null |
    awk -v program="$1" -v title="${2:-}" '
      {
        if (!match($0, /\("[^"]*" "[^"]*"\)/)) next
        owner = substr($0, RSTART + 2, RLENGTH - 2); sub(/".*/, "", owner)
        if (tolower(owner) != tolower(program)) next
        if (title != "") { if (index($0, "\"" title "\":") == 0) next }
        else if ($0 !~ /\(has no name\)/) next
        if (!match($0, /[0-9]+x[0-9]+\+-?[0-9]+\+-?[0-9]+/)) next
        geometry = substr($0, RSTART, RLENGTH)
        if (title == "" && geometry ~ /^1x1\+/) next
        print geometry; found = 1; exit
      }
      END { exit !found }'
}
