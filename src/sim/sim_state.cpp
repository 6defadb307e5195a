// The simulated box's persistent state as bytes, for a box that lives across processes: what
// it keeps (one BoxConfiguration) and its stored CEC commands.
// Layout: an 8-byte magic, the version (16 bits), the payload's length (32 bits), the
// payload's CRC-16 (ISO 3309, 16 bits), all little-endian, then the payload: the status
// record, the custom EDID, the stored HDR infoframe, the stored AVI bytes, and each stored
// CEC command as its length byte and a zero-padded field of the longest text the box keeps.

#include "sim/simulated_box.h"

#include <QByteArrayView>
#include <QtEndian>

#include <algorithm>
#include <array>

namespace sim {
namespace {

constexpr std::array<uint8_t, 8> kStateMagic = {'V', 'L', 'T', 'K', 'B', 'O', 'X', 0x1A};
constexpr uint16_t kStateVersion = 1;
constexpr size_t kVersionAt = kStateMagic.size();
constexpr size_t kLengthAt = kVersionAt + 2;
constexpr size_t kChecksumAt = kLengthAt + 4;
constexpr size_t kHeaderSize = kChecksumAt + 2;

constexpr size_t kCecField = proto::kMaxStoredCecText;
constexpr size_t kPayloadSize =
    record::kSize + proto::kEdidSize + proto::kStoredHdrBytes + proto::kStoredAviBytes + 2 * (1 + kCecField);

uint16_t payloadChecksum(std::span<const uint8_t> payload) {
    return qChecksum(QByteArrayView(payload.data(), static_cast<qsizetype>(payload.size())),
                     Qt::ChecksumIso3309);
}

// Appends and takes fields in one order, so export and import cannot drift apart.
class Cursor {
public:
    explicit Cursor(std::span<uint8_t> bytes) : bytes_(bytes) {}
    std::span<uint8_t> take(size_t count) {
        const std::span<uint8_t> field = bytes_.subspan(at_, count);
        at_ += count;
        return field;
    }

private:
    std::span<uint8_t> bytes_;
    size_t at_ = 0;
};

} // namespace

const char *stateErrorText(StateError error) {
    switch (error) {
    case StateError::None:
        return "none";
    case StateError::NotAState:
        return "not a demo box state";
    case StateError::UnknownVersion:
        return "written by an unknown version";
    case StateError::WrongLength:
        return "damaged (length)";
    case StateError::BadChecksum:
        return "damaged (checksum)";
    case StateError::BadContent:
        return "damaged (content)";
    }
    return "damaged";
}

BoxConfiguration SimulatedBox::keptConfiguration() const {
    BoxConfiguration kept = configurationOfRecord(record_);
    kept.customEdid = customEdid_;
    StoredHdrInfoframe hdr{};
    std::copy_n(blocks_[proto::kRegStoredHdrInfoframe].begin() + proto::kBlockDataStart, hdr.size(),
                hdr.begin());
    kept.hdrInfoframe = hdr;
    StoredAviBytes avi{};
    std::copy_n(blocks_[proto::kRegStoredAviBytes].begin() + proto::kBlockDataStart, avi.size(), avi.begin());
    kept.aviBytes = avi;
    proto::ReplyBuffer version{};
    std::copy_n(blocks_[proto::kRegVersion].begin(), version.size(), version.begin());
    kept.firmware = firmwareVersionOf(version);
    return kept;
}

void SimulatedBox::keepConfiguration(const BoxConfiguration &configuration) {
    record_ = recordWithSettings(configuration, record_);
    if (configuration.customEdid) {
        customEdid_ = *configuration.customEdid;
    }
    if (configuration.hdrInfoframe) {
        std::ranges::copy(*configuration.hdrInfoframe,
                          blocks_[proto::kRegStoredHdrInfoframe].begin() + proto::kBlockDataStart);
    }
    if (configuration.aviBytes) {
        std::ranges::copy(*configuration.aviBytes,
                          blocks_[proto::kRegStoredAviBytes].begin() + proto::kBlockDataStart);
    }
}

// The state is what the box keeps, and the stored CEC commands, which no configuration holds
// as the box gives them back to nobody. The record's fields that are no setting are the
// box's to say: written as the factory has them, and not taken.
std::vector<uint8_t> SimulatedBox::exportState() const {
    const BoxConfiguration kept = keptConfiguration();
    std::vector<uint8_t> bytes(kHeaderSize + kPayloadSize, 0);
    std::copy(kStateMagic.begin(), kStateMagic.end(), bytes.begin());
    qToLittleEndian<uint16_t>(kStateVersion, bytes.data() + kVersionAt);
    qToLittleEndian<uint32_t>(static_cast<uint32_t>(kPayloadSize), bytes.data() + kLengthAt);

    const std::span<uint8_t> payload = std::span<uint8_t>(bytes).subspan(kHeaderSize);
    Cursor cursor(payload);
    std::ranges::copy(recordWithSettings(kept, factorySettings()), cursor.take(record::kSize).begin());
    std::ranges::copy(*kept.customEdid, cursor.take(proto::kEdidSize).begin());
    std::ranges::copy(*kept.hdrInfoframe, cursor.take(proto::kStoredHdrBytes).begin());
    std::ranges::copy(*kept.aviBytes, cursor.take(proto::kStoredAviBytes).begin());
    for (const std::string &cec : storedCec_) {
        const size_t length = std::min(cec.size(), kCecField);
        cursor.take(1)[0] = static_cast<uint8_t>(length);
        std::copy_n(cec.begin(), length, cursor.take(kCecField).begin());
    }
    qToLittleEndian<uint16_t>(payloadChecksum(payload), bytes.data() + kChecksumAt);
    return bytes;
}

StateError SimulatedBox::importState(std::span<const uint8_t> bytes) {
    if (bytes.size() < kHeaderSize || !std::equal(kStateMagic.begin(), kStateMagic.end(), bytes.begin())) {
        return StateError::NotAState;
    }
    if (qFromLittleEndian<uint16_t>(bytes.data() + kVersionAt) != kStateVersion) {
        return StateError::UnknownVersion;
    }
    if (qFromLittleEndian<uint32_t>(bytes.data() + kLengthAt) != kPayloadSize ||
        bytes.size() != kHeaderSize + kPayloadSize) {
        return StateError::WrongLength;
    }
    // A copy the cursor can walk; the box changes only once every field has been checked.
    std::array<uint8_t, kPayloadSize> payload{};
    std::copy_n(bytes.begin() + kHeaderSize, kPayloadSize, payload.begin());
    if (qFromLittleEndian<uint16_t>(bytes.data() + kChecksumAt) != payloadChecksum(payload)) {
        return StateError::BadChecksum;
    }
    Cursor cursor(payload);
    const std::span<uint8_t> settings = cursor.take(record::kSize);
    const std::span<uint8_t> edid = cursor.take(proto::kEdidSize);
    const std::span<uint8_t> hdr = cursor.take(proto::kStoredHdrBytes);
    const std::span<uint8_t> avi = cursor.take(proto::kStoredAviBytes);
    std::array<std::string, 2> cec;
    for (std::string &text : cec) {
        const size_t length = cursor.take(1)[0];
        const std::span<uint8_t> field = cursor.take(kCecField);
        // Only the exporter's own layout is taken: a text that fits, zeros after it.
        if (length > kCecField || std::any_of(field.begin() + static_cast<std::ptrdiff_t>(length),
                                              field.end(), [](uint8_t byte) { return byte != 0; })) {
            return StateError::BadContent;
        }
        text.assign(field.begin(), field.begin() + static_cast<std::ptrdiff_t>(length));
    }

    record::StatusRecord record{};
    std::ranges::copy(settings, record.begin());
    BoxConfiguration kept = configurationOfRecord(record);
    kept.customEdid.emplace();
    std::ranges::copy(edid, kept.customEdid->begin());
    kept.hdrInfoframe.emplace();
    std::ranges::copy(hdr, kept.hdrInfoframe->begin());
    kept.aviBytes.emplace();
    std::ranges::copy(avi, kept.aviBytes->begin());
    keepConfiguration(kept);
    storedCec_ = std::move(cec);
    return StateError::None;
}

} // namespace sim
