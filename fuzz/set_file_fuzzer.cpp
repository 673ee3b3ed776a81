// libFuzzer target: the set file. Whatever a file holds, the pairs read from it, once saved,
// read back exactly: the writer never picks an encoding the reader takes for another.
#include "sets/set_file.h"
#include "sets/text_file.h"

#include <cstdio>
#include <cstdlib>

namespace {

const QString kSeparator = QStringLiteral("::");

// The pairs the Load Sets dialog takes from a text: each line that holds the separator, after
// every CR is dropped.
QList<quillmere::SetPair> PairsOf(QString text) {
    QList<quillmere::SetPair> pairs;
    text.remove(QLatin1Char('\r'));
    for (const QString& line : text.split(QLatin1Char('\n')))
        if (line.contains(kSeparator)) pairs << quillmere::SplitPair(line, kSeparator);
    return pairs;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<quillmere::SetPair> pairs = PairsOf(quillmere::DecodeText(input));
    QStringList finds, replacements;
    for (const auto& pair : pairs) {
        finds << pair.find;
        replacements << pair.replacement;
    }
    const QList<quillmere::SetPair> reread =
        PairsOf(quillmere::DecodeText(quillmere::SetFileBytes(finds, replacements)));
    bool same = reread.size() == pairs.size();
    for (qsizetype i = 0; same && i < pairs.size(); ++i)
        same = reread[i].find == pairs[i].find && reread[i].replacement == pairs[i].replacement;
    if (!same) {
        std::fprintf(stderr, "Broken promise of the set file: saved pairs read back otherwise\n");
        std::abort();
    }
    return 0;
}
