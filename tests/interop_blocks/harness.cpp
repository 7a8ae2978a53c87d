// The block tests' harness, shared with the wire tests.
#include "../transfer_blocks/harness.cpp"
