#pragma once
// What the edits of the model share (edid_model.cpp, edid_model_audio.cpp): the data blocks
// found, made, inserted and trimmed, and the one way an edit of the CTA block is run.

#include "core/edid/edid_model.h"

#include <functional>
#include <optional>
#include <span>

namespace edid::edits {

EditOutcome refused(const QString &reason);
bool isExtended(const CtaDataBlock &b, uint8_t extendedTag);
CtaDataBlock makeBlock(uint8_t tag, std::span<const uint8_t> payload);
CtaDataBlock *findBlock(EdidModel &model, const std::function<bool(const CtaDataBlock &)> &matches);
// Why the data blocks of the model cannot be edited, if they cannot.
std::optional<EditOutcome> ctaNotEditable(const EdidModel &model);
// Runs an edit of the CTA block on a copy and keeps it only when it worked and fits.
EditOutcome editCta(EdidModel &model, const std::function<EditOutcome(EdidModel &)> &edit);
// Removes the blocks of the kind whose payload is no longer than minLength.
void eraseEmpty(EdidModel &model, const std::function<bool(const CtaDataBlock &)> &kind, size_t minLength);
// Removes the payload bytes [from, from + count) of a block.
void erasePayload(CtaDataBlock &b, size_t from, size_t count);
// Inserts a block after the last of those that match, or at the end.
void insertAfter(EdidModel &model, const CtaDataBlock &block,
                 const std::function<bool(const CtaDataBlock &)> &after);

} // namespace edid::edits
