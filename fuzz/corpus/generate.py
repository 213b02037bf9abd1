#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets (fuzz/corpus/<target>/) from the cases
below. The binary targets read their choices the way libFuzzer's FuzzedDataProvider
does: numbers from the end of the input, byte strings from the front."""
import os
import struct


class Input:
    """Builds an input: front() appends bytes read from the front; number() and flag()
    append a choice read from the end, in the order the target reads them."""

    def __init__(self):
        self.head = b""
        self.tail = []

    def front(self, data):
        self.head += data if isinstance(data, bytes) else data.encode("latin-1")
        return self

    def number(self, value, lo, hi):
        span, width = hi - lo, 0
        while width < 8 and span >> (8 * width):
            width += 1
        self.tail.append((value - lo).to_bytes(width, "little"))
        return self

    def flag(self, on):
        return self.number(1 if on else 0, 0, 255)

    def string(self, text):
        """A ConsumeRandomLengthString: backslashes doubled, ended by a lone one."""
        return self.front(text.replace("\\", "\\\\") + "\\;")

    def data(self):
        return self.head + b"".join(reversed(self.tail))


HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, cases):
    folder = os.path.join(HERE, target)
    os.makedirs(folder, exist_ok=True)
    for name, data in cases.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode("latin-1"))


write("cmdline", {
    "identity": '/P "Office Printer" /O "LPT1:" /M "M1" /D "OLMAR Drv"',
    "declared": '/P9 "Printer 1" /O5 "LPT1:" /M6 "Model1" /P3 "Printer 1" /P12 "ab',
    "flags": '/r /I /S /U /C /E /J "J" /BE /BH "H" /BU "U" /BD "D" /BI "I" /BN "N" /VQM "V"',
    "files": '/F "O_P1.TMP" /A "C:\\users\\user\\Temp\\O_P1.TMP" /Q "x"',
    "quotes": '/P "a/b" /O"LPT1:" /M "M"1" "/D',
})

LINES = '/P "Office Printer"\r\n/O "LPT1:"\r\n/M "M1"\r\n/D "OLMAR Drv"\r\n/I\r\n/S\r\n'
write("paramfile", {
    "written": LINES + "\x00",
    "kept": '/A "other.tmp"\n/P "quoted "inner" value"\n/BH\n/F "x"\n/P1 "no line end"' + "\x01",
    "bare": 'no switch\n\n/\n"\n/D "unterminated\x1a/M "after eof"' + "\x02",
    "long": "/J \"" + "x" * 1400 + "\"\n/P \"after\"\n" + "\x03",
})

LANG = ("[Language]\r\nEnglish=9,1\r\nGerman=07,01\r\nJapanese=0x11,1,extra\r\nPlain\r\n"
        "[English]\r\nResDll=en.dll\r\n[German]\r\nResDll=de.dll\r\n[Japanese]\r\nResDll=ja.dll\r\n")


def language(ini, langid, libraries, key=0, ini_file=0, size=None):
    case = Input().front(ini).number(langid, 0, 0xFFFF).number(libraries, 0, 255)
    case.number(key, 0, 2).number(ini_file, 0, 2).flag(size is None)
    if size is not None:
        case.number(size, 0, 300)
    return case.data()


write("language", {
    "exact": language(LANG, 0x0407, 0x0F),
    "fallback": language(LANG, 0x0C0C, 0x04, ini_file=1),
    "walk": language(LANG, 0x0411, 0x02, ini_file=2, size=3),
    "numbers": language("[Language]\nA=0 a,x1\nB==,,\n=9\nC=-9,+1\n[B]\nResDll=fr.dll\nOther=v\n", 0x040A, 0x08, key=1),
    "long": language("[Language]\n" + "".join("Section%02d=%x,%x\n" % (i, i, i % 3) for i in range(40))
                     + "[Section39]\nResDll=ja.dll\n", 0x0827, 0x04),
})

# The values the registry target can overwrite, in its order.
O_PIC, MODEL_ID, PROFILE, INSTALL_PATH, O_PRUN, NAME, SELECTED, ENABLE, PORT_NAME, EXTRA_TARGET = range(10)
REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ, REG_QWORD = 1, 2, 3, 4, 5, 6  # choices
DELETE = 0xFF


def registry(*values):
    case = Input()
    for slot, choice, data, *rest in values:
        case.number(slot, 0, 9)
        if slot == EXTRA_TARGET:
            port_family, subkey = rest.pop(0)
            case.flag(port_family).string(subkey)
        case.number(choice, 0, 255)
        if choice == DELETE:
            continue
        if choice >= 7:
            case.number(rest[0], 0, 0xFFFFFFFF)
        case.flag(True).number(len(data), 0, 2048).front(data).flag(bool(rest and rest[-1] == "terminated"))
    return case.data()


write("registry", {
    "installed": b"",
    "strings": registry((O_PIC, REG_SZ, b"1"), (MODEL_ID, REG_BINARY, b"M" * 260),
                        (PROFILE, REG_EXPAND_SZ, b"C:\\drv\\" + b"x" * 300 + b".ini")),
    "sizes": registry((NAME, REG_MULTI_SZ, b"Office Printer\0\0"), (SELECTED, REG_QWORD, struct.pack("<Q", 2)),
                      (ENABLE, REG_DWORD, b""), (PORT_NAME, REG_SZ, b"LPT1:", "terminated")),
    "paths": registry((INSTALL_PATH, REG_SZ, b"C:\\drv\\\0"), (O_PRUN, DELETE, b""),
                      (MODEL_ID, 9, b"M1\0", 0x7FFFFFFF)),
    "targets": registry((EXTRA_TARGET, REG_SZ, b"Gone Printer", (False, "P0000000000000001"), "terminated"),
                        (EXTRA_TARGET, REG_SZ, b"Office Printer", (False, "T" * 270), "terminated"),
                        (EXTRA_TARGET, REG_DWORD, b"\1\0\0\0", (True, "P0000000000000001\\Sub")),
                        (NAME, REG_SZ, b"Other")),
})


def key(case, text):
    """A key given as text (the target's first form of key)."""
    return case.flag(True).string(text)


def key_of_length(case, index, char):
    """A key of one of the target's lengths: 0, 1, 2, 259, 260, 261, 519, 520, 521, 1000."""
    return case.flag(False).number(index, 0, 9).number(ord(char) - 256 if ord(char) > 127 else ord(char), -128, 127)


def operation(case, kind_of_op, make_key, port_only, kind, value=None):
    case.number(kind_of_op, 0, 2)
    make_key(case)
    case.flag(port_only)
    if not port_only:
        key(case, "LPT1:")
    case.number(kind, -1, 4)
    if kind_of_op != 2:
        case.number(value, 0, 4)
    return case


REGISTER, SET, UNREGISTER = 0, 1, 2
PLACEHOLDER, LIVE, DEAD = 1, 2, 3


def printer(case):
    return key(case, "Office Printer")


def lifecycle():
    case = Input().flag(False).flag(False)
    operation(case, REGISTER, printer, False, 3, PLACEHOLDER)
    operation(case, SET, printer, False, 3, LIVE)
    operation(case, REGISTER, lambda c: key(c, "OFFICE PRINTER"), False, 3, PLACEHOLDER)
    operation(case, UNREGISTER, printer, False, 3)
    return case.data()


NO_END, LAST_END, END_AT = 2, 0, 1


def end_marker(case, where, index=None, entries=500):
    case.number(where, 0, 3)
    return case.number(index, 0, entries - 1) if where == END_AT else case


def garbage_block():
    case = Input().flag(True).flag(True).number(0x41, 0, 255).number(0, 0, 8)
    end_marker(case, NO_END).flag(False)
    operation(case, REGISTER, lambda c: key_of_length(c, 4, "A"), False, 0, LIVE)
    operation(case, SET, lambda c: key_of_length(c, 3, "A"), True, 1, DEAD)
    operation(case, UNREGISTER, lambda c: key_of_length(c, 4, "A"), False, 0)
    return case.data()


def small_block2():
    case = Input().flag(False).flag(True).flag(False).number(2, 1, 66).number(0, 0, 255).number(0, 0, 8)
    end_marker(case, END_AT, 0, entries=8192 // 534)
    operation(case, REGISTER, lambda c: key_of_length(c, 5, "b"), True, 3, PLACEHOLDER)
    operation(case, REGISTER, lambda c: key_of_length(c, 7, "c"), False, 2, LIVE)
    operation(case, REGISTER, lambda c: key_of_length(c, 8, "d"), False, 3, LIVE)
    return case.data()


def entries_block1():
    case = Input().flag(True).flag(True).number(0, 0, 255).number(3, 0, 8)
    # A raw entry, a name filling szName without terminator, and a free entry with slots.
    case.number(0, 0, 499).flag(True).number(0, 0, 273).number(6, 0, 274).front(b"Office")
    case.number(1, 0, 499).flag(False)
    key_of_length(case, 4, "P").flag(False)
    case.number(LIVE, 0, 4).number(0, 0, 4).number(DEAD, 0, 4)
    case.number(2, 0, 499).flag(False)
    key(case, "")
    case.flag(True).number(0, 0, 4).number(LIVE, 0, 4).number(PLACEHOLDER, 0, 4)
    end_marker(case, END_AT, 3).flag(False)
    operation(case, REGISTER, lambda c: key_of_length(c, 4, "P"), False, 3, PLACEHOLDER)
    operation(case, REGISTER, lambda c: key(c, "New"), False, 3, PLACEHOLDER)
    operation(case, UNREGISTER, lambda c: key(c, "Office"), False, 0)
    operation(case, SET, lambda c: key(c, "Missing"), False, 4, LIVE)
    return case.data()


def last_entry():
    """A table whose end marker is on its last entry: the next key takes that entry."""
    case = Input().flag(True).flag(True).number(0x42, 0, 255).number(0, 0, 8)
    end_marker(case, LAST_END).flag(False)
    operation(case, REGISTER, printer, False, 3, PLACEHOLDER)
    operation(case, REGISTER, lambda c: key(c, "Another"), False, 3, PLACEHOLDER)
    return case.data()


write("table", {
    "last": last_entry(),
    "lifecycle": lifecycle(),
    "garbage": garbage_block(),
    "block2": small_block2(),
    "entries": entries_block1(),
})
