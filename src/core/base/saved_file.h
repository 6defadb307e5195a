#pragma once
// Files written whole or not at all: the bytes go to a temporary file that replaces the
// old one only once every byte is written, so a failed save leaves an existing file as it was.
// And the folders they go into, made with the system's reason when that fails.

#include <QSaveFile>
#include <QString>

#include <cstdint>
#include <span>

// Writes every byte to the open file. A write cut short is followed by one for the rest,
// which either goes on or fails with the reason in the file's error string.
bool writeAll(QSaveFile &file, std::span<const uint8_t> bytes);

// Opens, writes and commits; on failure `error` (when given) says why.
bool saveFile(const QString &fileName, std::span<const uint8_t> bytes, QString *error);

// Makes the folder and any missing folder above it; true when it is there. On failure `why`
// holds the system's reason ("Permission denied", "Not a directory").
bool makeFolders(const QString &path, QString *why);
