/* C code the disassembler's test compiles (gcc -m32 and -m64, several
   optimisation levels) to compare the disassembler with objdump on what a
   compiler makes: loops, jump tables, 64-bit arithmetic on 32 bits, floating
   point, string and bit operations, calls through pointers. */
/* No system headers: a machine may lack the 32-bit ones. */
typedef __SIZE_TYPE__ size_t;
typedef unsigned short uint16_t;
typedef unsigned int uint32_t;
typedef unsigned long long uint64_t;
#define strlen __builtin_strlen
#define memcpy __builtin_memcpy

struct item {
    int key;
    double weight;
    const char* name;
    struct item* next;
};

int sum_scaled(const int* a, int n, int factor)
{
    int s = 0;
    for (int i = 0; i < n; i++)
        s += a[i] * factor + (a[i] >> 3);
    return s;
}

const char* kind_name(int kind)
{
    switch (kind) {
    case 0: return "zero";
    case 1: return "one";
    case 2: return "two";
    case 3: return "three";
    case 5: return "five";
    case 8: return "eight";
    case 13: return "thirteen";
    default: return "many";
    }
}

uint64_t mix64(uint64_t x, uint64_t y, unsigned shift)
{
    x ^= y >> shift;
    x *= 0x9E3779B97F4A7C15ull;
    return x / (y | 1) + (x % 1000003u);
}

double weigh(const struct item* list, double bias)
{
    double total = 0.0;
    for (; list; list = list->next)
        total += list->weight * bias + (double)list->key / 3.0;
    return total > 1e9 ? 1e9 : total;
}

float clampf(float v, float lo, float hi)
{
    return v < lo ? lo : v > hi ? hi : v;
}

size_t count_bits(const uint32_t* words, size_t n)
{
    size_t bits = 0;
    for (size_t i = 0; i < n; i++)
        bits += (size_t)__builtin_popcount(words[i]) + (size_t)__builtin_ctz(words[i] | 0x80000000u);
    return bits;
}

void copy_names(char* out, const struct item* list, size_t room)
{
    size_t used = 0;
    for (; list && used + 1 < room; list = list->next) {
        size_t n = strlen(list->name);
        if (used + n + 1 >= room)
            n = room - used - 1;
        memcpy(out + used, list->name, n);
        used += n;
    }
    out[used] = 0;
}

typedef int (*compare_fn)(const void*, const void*);

void sort_small(int* a, int n, compare_fn cmp)
{
    for (int i = 1; i < n; i++) {
        int v = a[i];
        int j = i - 1;
        while (j >= 0 && cmp(&a[j], &v) > 0) {
            a[j + 1] = a[j];
            j--;
        }
        a[j + 1] = v;
    }
}

long long divide_wide(long long a, long long b)
{
    return b ? a / b + a % b : 0;
}

unsigned char saturate(int v)
{
    return (unsigned char)(v < 0 ? 0 : v > 255 ? 255 : v);
}

void fill_pattern(uint16_t* p, size_t n, uint16_t v)
{
    for (size_t i = 0; i < n; i++)
        p[i] = (uint16_t)(v + i * 3u);
}
