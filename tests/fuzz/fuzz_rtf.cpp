// The help reader on arbitrary bytes: no crash, no endless loop, and never more text than the
// file had bytes (each shown character or paragraph end costs the file at least one byte).
#include <QGuiApplication>
#include <QTextDocument>

#include "FuzzCheck.h"
#include "dialogs/RtfReader.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Text layout needs fonts, and fonts need an application; no screen is wanted.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray rtf(reinterpret_cast<const char*>(data), qsizetype(size));
    QTextDocument document;
    TRtfReader::Read(rtf, &document);
    FUZZ_CHECK(document.characterCount() - 1 <= rtf.size());
    return 0;
}
