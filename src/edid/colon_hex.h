#pragma once
// Colon hex text: bytes as two-digit groups joined by colons ("87:01:1a").

#include <QString>

#include <cstdint>
#include <span>

// Lower-case groups, no leading or trailing colon; empty for no bytes.
QString formatColonHex(std::span<const uint8_t> bytes);
