#include "link_check.c"
