#include "core/base/format_text.h"

#include <QByteArray>

#include <cstdarg>
#include <cstdio>

QString formatText(const char *format, ...) {
    char buffer[256] = {};
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) {
        return QString();
    }
    if (static_cast<size_t>(length) < sizeof buffer) {
        return QString::fromLatin1(buffer, length);
    }
    // Longer than the buffer: once more into one of its length (and its terminating zero).
    QByteArray longer(length, Qt::Uninitialized);
    va_start(args, format);
    std::vsnprintf(longer.data(), static_cast<size_t>(length) + 1, format, args);
    va_end(args);
    return QString::fromLatin1(longer);
}
