// Feeds arbitrary bytes to the NVM reader and the number reading. Besides
// the sanitizers' findings, a view that points outside its model's camera
// list or vertex array is a failure.
#include "common/numbers/NumberText.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/io/TextLineReader.h"

#include <QBuffer>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iostream>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The reader's progress lines would drown the fuzzer's own output.
    std::cout.rdbuf(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* begin = reinterpret_cast<const char*>(data);
    const char* end = begin + size;

    // Every position must read without reading past the end and must move on.
    for (const char* p = begin; p < end;) {
        double value = 0;
        const char* next = NumberText::readLeading(p, end, value);
        if (next < p || next > end)
            std::abort();
        p = next == p ? p + 1 : next;
    }

    // The file path reads through a small reused buffer; it must hand out the
    // very lines the in-memory path does, wherever the chunks end.
    {
        QByteArray copy(begin, int(size));
        QBuffer device(&copy);
        device.open(QIODevice::ReadOnly);
        TextLineReader chunked(&device, 64);
        TextLineReader whole(begin, end);
        const char *b1, *e1, *b2, *e2;
        for (;;) {
            const bool got1 = whole.next(b1, e1);
            const bool got2 = chunked.next(b2, e2);
            if (got1 != got2)
                std::abort();
            if (!got1)
                break;
            if (e1 - b1 != e2 - b2 || std::memcmp(b1, b2, size_t(e1 - b1)) != 0)
                std::abort();
        }
    }

    SparseBundle bundle;
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    const bool ok = NvmReader::readNvm(begin, end, "/fuzz/", vertices, colours, bundle);

    if (ok != (!vertices.empty() && vertices[0]->size() > 0))
        std::abort();
    if (vertices.size() != colours.size() || vertices.size() > bundle.bundleCameras.size())
        std::abort();
    for (size_t m = 0; m < bundle.bundleCameras.size(); ++m) {
        const auto& cameras = bundle.bundleCameras[m];
        const size_t points = m < vertices.size() ? vertices[m]->size() : 0;
        if (m < vertices.size() && (points == 0 || colours[m]->size() != points))
            std::abort();
        for (size_t c = 0; c < cameras.size(); ++c) {
            for (const auto& view : cameras[c]->views) {
                if (view->cameraIndex != double(c))
                    std::abort();
                // A model that kept no points keeps no views either.
                if (!(view->pointIndex >= 0 && view->pointIndex < double(points)))
                    std::abort();
            }
        }
    }
    return 0;
}
