// Symbolic ids of the test resources.
#define TESTRES_INNER_ID 950
