// Feeds arbitrary bytes to the project file reader. Besides the sanitizers'
// findings, a document read without error must write out and read back to
// the same layers, images and bookmarks.
#include "core/project/ProjectDocument.h"
#include "core/project/ProjectReader.h"
#include "core/project/ProjectWriter.h"

#include "FuzzSupport.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <iostream>

namespace
{

using fuzz::check;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::cout.rdbuf(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    QBuffer device;
    device.setData(input);
    device.open(QIODevice::ReadOnly);
    ProjectDocument doc;
    QString error;
    const bool ok = ProjectReader::read(device, doc, &error);
    if (!ok) {
        check(!error.isEmpty());
        return 0;
    }

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    check(ProjectWriter::write(out, doc));
    out.close();
    out.open(QIODevice::ReadOnly);
    ProjectDocument again;
    if (!ProjectReader::read(out, again, &error)) {
        std::cerr << "written project does not read back: " << error.toStdString() << "\n"
                  << out.data().toStdString() << "\n";
        std::abort();
    }
    check(again.images.size() == doc.images.size());
    check(again.bookmarks.size() == doc.bookmarks.size());
    for (int t = 0; t <= LayerType::Annotation; ++t)
        check(again.layers[t].size() == doc.layers[t].size());
    return 0;
}
