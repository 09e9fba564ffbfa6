// Loaded by the hooking tests after their hooks are in place: its calls into
// the target library must reach the replacements too.
#include "hook_target.h"

extern "C" int hook_late_value(int x)
{
    return hook_target_value(x);
}
