// The XA switch's end at library detach. The switch itself is not built
// yet, so it is never handed out and there is nothing to end.
#include "xa/xaswitch.h"

void xa_switch_term() {}
