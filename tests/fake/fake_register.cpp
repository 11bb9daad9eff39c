// ORA_Register of the test builds of the drivers: registers the scripted
// fake table (libkvdfake.so) in place of the Oracle agent. The layers that
// the real registration stacks above the agent are not installed here: the
// tests of the front end talk to the fake directly.
#include "fake.h"

int32_t ORA_Register(DrvObject *obj) { return fake::Register(obj); }
