// Compiled by the layering tests only: includes the one header a case names.
#include HUB_PROBE_HEADER
