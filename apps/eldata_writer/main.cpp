// Writes the bytes of a module's ELDATA section: the module's crash-report
// options (their defaults) as an options stream, the compilation date and
// the symbols asked for. The build puts them into the module's file with
// objcopy (cmake/CorvantisLibrary.cmake, cv_add_crashbox_data).
//
//   eldata_writer OUTPUT MODULE-NAME [ID=OFFSET...]
//
// OFFSET is a hexadecimal address relative to the module's code start
// (the module's load address + 0x1000). The date is SOURCE_DATE_EPOCH when
// that is set (reproducible builds), else the time of the run.

#include "crashreport/core/debuginfo/compiled_debug_data.h"
#include "crashreport/core/options/crashbox_options.h"
#include "suite/cv_stream.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: eldata_writer OUTPUT MODULE-NAME [ID=OFFSET...]\n");
        return 2;
    }
    cv::TELDataContents contents;
    const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
    contents.CompilationTime = epoch ? std::strtoll(epoch, nullptr, 10) : int64_t(std::time(nullptr));
    for (int i = 3; i < argc; ++i) {
        char* end = nullptr;
        const unsigned long id = std::strtoul(argv[i], &end, 10);
        if (!end || *end != '=' || id > 255) {
            std::fprintf(stderr, "eldata_writer: \"%s\" is no ID=OFFSET\n", argv[i]);
            return 2;
        }
        contents.Symbols.push_back({uint8_t(id), uint32_t(std::strtoul(end + 1, nullptr, 16)), 0});
    }
    cv::TCrashboxModuleOptions options(argv[2]);
    cv::TMemoryStream stream;
    if (!options.SaveToStream(stream)) {
        std::fprintf(stderr, "eldata_writer: the options could not be written\n");
        return 1;
    }
    contents.Options = stream.TakeBytes();
    const std::vector<uint8_t> bytes = cv::WriteELData(contents);
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "eldata_writer: cannot write \"%s\"\n", argv[1]);
        return 1;
    }
    return 0;
}
