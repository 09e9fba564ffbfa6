// A library the call-stack tests load and unload with dlopen: it carries a
// package note with its name, version and description, and its build puts
// crash-report data (ELDATA) into it.

#include <cstdint>

namespace {

constexpr char kPackage[] = R"({"type":"deb","name":"cv-stack-probe","version":"2.5.1","description":"Stack probe \u00e9"})";

struct TPackageNote {
    uint32_t NameSize = 4;
    uint32_t DescriptionSize = sizeof kPackage;
    uint32_t Type = 0xcafe1a7e;
    char Name[4] = {'F', 'D', 'O', 0};
    char Description[(sizeof kPackage + 3) / 4 * 4] = {};
};

constexpr TPackageNote MakeNote()
{
    TPackageNote note;
    for (unsigned i = 0; i < sizeof kPackage; ++i)
        note.Description[i] = kPackage[i];
    return note;
}

[[gnu::section(".note.package"), gnu::used, gnu::aligned(4)]] const TPackageNote kNote = MakeNote();

} // namespace

extern "C" [[gnu::visibility("default"), gnu::noinline]] int cv_stack_probe_answer(int x)
{
    asm volatile("");
    return x * 2 + 1;
}
