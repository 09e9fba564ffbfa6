#pragma once
// The routines of the library the hooking tests replace.

extern "C" {
// 3x + 1000.
int hook_target_value(int x);
// hook_target_value, called from inside the library (through its own GOT).
int hook_target_call_value(int x);
// Exported, and called by no other module.
int hook_target_unused(int x);
}

class HookShape {
public:
    virtual ~HookShape();
    virtual int Area() const;
    virtual int Sides() const;
};

extern "C" {
HookShape* hook_target_make_shape();
void hook_target_free_shape(HookShape* shape);
// shape->Area(), called from inside the library.
int hook_target_shape_area(const HookShape* shape);
}
