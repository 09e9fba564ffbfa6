// A library whose code mixes exported functions with functions its dynamic
// symbol table does not list (static ones and hidden ones), as system
// libraries do. The name tests take its code as it is and as a copy that
// keeps only the dynamic table and mini debug information (".gnu_debugdata").

namespace {

[[gnu::noinline]] int Twice(int x)
{
    asm volatile("");
    return x * 2 + 3;
}

[[gnu::noinline]] int Squared(int x)
{
    asm volatile("");
    return x * x - 1;
}

} // namespace

[[gnu::noinline, gnu::visibility("hidden")]] int cv_symbol_probe_hidden(int x)
{
    asm volatile("");
    return Squared(x) ^ 5;
}

extern "C" [[gnu::visibility("default"), gnu::noinline]] int cv_symbol_probe_first(int x)
{
    return Twice(x) + 1;
}

extern "C" [[gnu::visibility("default"), gnu::noinline]] int cv_symbol_probe_second(int x)
{
    return cv_symbol_probe_hidden(x) - 1;
}
