// Any text of up to 1 MB and a byte past it to the box configuration file's reader: a text
// it takes must be written back by the writer into one it takes again, holding the same
// configuration; one it refuses must say where, and a text over 1 MB is always refused.

#include "core/box/box_configuration_file.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size > static_cast<size_t>(kMaxConfigurationFileSize) + 1) {
        return 0;
    }
    const QByteArrayView text(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const ConfigurationFileRead read = parseConfigurationText(text);
    if (!read.ok()) {
        if (read.error.reason.isEmpty()) {
            std::abort();
        }
        return 0;
    }
    if (size > static_cast<size_t>(kMaxConfigurationFileSize)) {
        std::abort();
    }
    const ConfigurationFile &file = *read.file;
    const ConfigurationFileRead again =
        parseConfigurationText(configurationText(file.configuration, file.saved.value_or(QDateTime())));
    if (!again.ok() || again.file->configuration != file.configuration) {
        std::abort();
    }
    return 0;
}
