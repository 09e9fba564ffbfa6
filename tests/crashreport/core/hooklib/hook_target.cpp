// A small shared library whose routines the hooking tests replace: through
// the GOT slots of the modules that call it, inline, and in its class's
// virtual-method table.
#include "hook_target.h"

extern "C" {

__attribute__((noinline)) int hook_target_value(int x)
{
    return x * 3 + 1000;
}

int hook_target_call_value(int x)
{
    return hook_target_value(x) + 1;
}

int hook_target_unused(int x)
{
    return x - 1;
}

HookShape* hook_target_make_shape()
{
    return new HookShape;
}

void hook_target_free_shape(HookShape* shape)
{
    delete shape;
}

int hook_target_shape_area(const HookShape* shape)
{
    return shape->Area();
}
}

HookShape::~HookShape() = default;

int HookShape::Area() const
{
    return 12;
}

int HookShape::Sides() const
{
    return 4;
}
