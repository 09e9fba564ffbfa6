// fuzz-deps: cv_maths cv_model
// fuzz-corpus: tests/data/fuzz/small
// Readers of the smaller files on arbitrary bytes; the first byte picks one:
// the chosen-texts hand-over stream, a matrix in its stream form (80-bit
// values) or in XML, an integer matrix in its stream form. Each must take
// the file or refuse it (the matrix readers with their own error), never
// crash, read out of bounds or ask for memory the bytes cannot justify.
// Run: small_files_fuzz -max_total_time=60 tests/data/fuzz/small
#include <QBuffer>

#include <vector>

#include "maths/sdl_errors.h"
#include "maths/sdl_intmatrix.h"
#include "maths/sdl_matrix.h"
#include "model/chosen_files.h"
#include "suite/cv_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QBuffer in(&bytes);
    in.open(QIODevice::ReadOnly);
    try {
        switch (data[0] % 4) {
        case 0: {
            cv::TCVFileDetails texts(false, {});
            cv::TMemoryStream s(std::vector<uint8_t>(data + 1, data + size));
            texts.ReadFromStream(s);
            break;
        }
        case 1: {
            cv::TMatrix m;
            m.LoadFromStream(&in, true);
            break;
        }
        case 2: {
            cv::TMatrix m;
            m.ReadFromXMLStream(in, QString());
            break;
        }
        default: {
            cv::TIntMatrix m;
            m.LoadFromStream(&in, true);
            break;
        }
        }
    } catch (const cv::ESDLError&) {
        // A refused matrix file: what the library says of damaged files.
    }
    return 0;
}
