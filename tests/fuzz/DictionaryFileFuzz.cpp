#include "DictionaryFile.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Any text parses without failing, and what the table writes is a string form that reads back
// to the same string.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    DictionaryFile table;
    table.SetStringValue(text);
    const QString once = table.GetStringValue();
    DictionaryFile again;
    again.SetStringValue(once);
    if (again.GetStringValue() != once) std::abort();
    return 0;
}
