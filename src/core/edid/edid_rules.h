#pragma once
// The rules the EDID decoder holds an EDID to, each with a stable id that scripts and the
// window may rely on ("cta.vcdb.missing"), the severity of every finding against it, and
// what it means. A failure is what keeps a source from reading a part of the EDID as it was
// meant; everything else is a warning.

#include "core/base/decode_findings.h"

#include <cstdint>
#include <span>

namespace edid {

// Rule, id, severity, meaning. The ids are kept: a new rule gets a new id.
#define EDID_RULES(X)                                                                                        \
    X(SizeShort, "edid.size.short", Failure, "fewer than 128 bytes: not even a base block")                  \
    X(SizePartialBlock, "edid.size.partial-block", Warning,                                                  \
      "bytes after the last whole block of 128; ignored")                                                    \
    X(Checksum, "edid.checksum", Failure, "a block's bytes do not sum to 0 modulo 256")                      \
    X(ExtensionsMissing, "edid.extensions.missing", Failure,                                                 \
      "fewer extension blocks present than the base block (or an HF-EEODB) states")                          \
    X(ExtensionsExtra, "edid.extensions.extra", Warning,                                                     \
      "blocks after those the EDID states; a source reads none of them, nor does the decoder")               \
    X(Header, "base.header", Failure, "block 0 does not start with 00 FF FF FF FF FF FF 00")                 \
    X(VersionUnknown, "base.version.unknown", Warning, "an EDID version other than 1.0 to 1.4")              \
    X(TextNonPrintable, "base.text.non-printable", Warning,                                                  \
      "a product name, serial number or data string holds a byte that is not printable ASCII; the text "     \
      "ends there")                                                                                          \
    X(NoDetailedTiming, "base.dtd.missing", Warning, "a digital display states no detailed timing")          \
    X(RangeLimitOffsets, "base.range-limits.offsets", Warning,                                               \
      "Display Range Limits with offset flags (byte 4) in an EDID before 1.4, where the byte is reserved; "  \
      "the limits are read without them")                                                                    \
    X(OutsideRangeLimits, "base.range-limits.timing-outside", Warning,                                       \
      "timings of the EDID (detailed, established, standard, VICs) outside its Display Range Limits, "       \
      "rates rounded to the limits' whole units")                                                            \
    X(SrgbChromaticities, "base.srgb.chromaticities", Warning,                                               \
      "sRGB is the default colour space, but the chromaticities are not sRGB's")                             \
    X(SrgbNotSignalled, "base.srgb.not-signalled", Warning,                                                  \
      "the chromaticities are sRGB's, but sRGB is not the default colour space")                             \
    X(TimingNoActive, "dtd.no-active", Failure, "a detailed timing with no active pixels or lines")          \
    X(TimingBlanking, "dtd.blanking", Warning,                                                               \
      "a detailed timing's front porch and sync outlast its blanking")                                       \
    X(TimingNearVic, "dtd.near-vic", Warning,                                                                \
      "a detailed timing with a VIC's active size, totals and pixel clock, but other porches, syncs or "     \
      "sync polarities")                                                                                     \
    X(CtaRevision, "cta.revision.unknown", Warning, "a CTA-861 block of a revision other than 1 to 3")       \
    X(CtaTimingOffset, "cta.dtd-offset.invalid", Failure,                                                    \
      "the offset of the detailed timings (byte 2) points into the header or past the block")                \
    X(CtaTimingAfterDescriptor, "cta.dtd.after-descriptor", Warning,                                         \
      "a detailed timing after a display descriptor in a CTA-861 block; read all the same")                  \
    X(DataBlockOverrun, "cta.data-block.overrun", Failure,                                                   \
      "a data block runs past the data block collection; the rest of the collection is not read")            \
    X(DataBlockEmpty, "cta.data-block.empty", Failure, "a data block of tag 7 without its extended tag")     \
    X(ReservedSvd, "cta.vdb.reserved-svd", Warning, "a reserved short video descriptor (0, 128, 254, 255)")  \
    X(DuplicateVic, "cta.vdb.duplicate-vic", Warning, "a VIC the Video Data Blocks list more than once")     \
    X(PreferredVic, "cta.vdb.preferred-vic", Warning,                                                        \
      "the first CTA-861 block states no native detailed timing and no Video Format Preference Data "        \
      "Block, so its first VIC is the preferred format; it is not the first detailed timing")                \
    X(AudioLength, "cta.adb.length", Failure, "an Audio Data Block whose length is not a multiple of 3")     \
    X(AudioReservedFormat, "cta.adb.reserved-format", Warning,                                               \
      "a short audio descriptor of a reserved audio format code (0) or extended code (0 to 3, 9, 15 to 31)") \
    X(AudioNoSampleRate, "cta.adb.no-sample-rate", Warning, "a short audio descriptor with no sample rate")  \
    X(SpeakerAllocationMissing, "cta.audio.speaker-allocation.missing", Warning,                             \
      "an audio format of more than 2 channels, and no Speaker Allocation Data Block to say where they "     \
      "play")                                                                                                \
    X(SpeakerAllocationLength, "cta.sadb.length", Failure, "a Speaker Allocation Data Block not 3 bytes")    \
    X(VcdbMissing, "cta.vcdb.missing", Warning,                                                              \
      "no Video Capability Data Block: a source cannot select the RGB quantization range")                   \
    X(VcdbRgbNotSelectable, "cta.vcdb.rgb-not-selectable", Warning,                                          \
      "the Video Capability Data Block states the RGB quantization range not selectable (QS 0)")             \
    X(VcdbLength, "cta.vcdb.length", Failure, "an empty Video Capability Data Block")                        \
    X(ColorimetryLength, "cta.colorimetry.length", Failure, "a Colorimetry Data Block shorter than 3 bytes") \
    X(ColorimetryReserved, "cta.colorimetry.reserved-bits", Warning,                                         \
      "reserved bits MD0 to MD3 of a Colorimetry Data Block set")                                            \
    X(HdrStaticLength, "cta.hdr-static.length", Failure, "an HDR Static Metadata Data Block cut short")      \
    X(HdrStaticReservedEotf, "cta.hdr-static.reserved-eotf", Warning, "reserved EOTF bits set")              \
    X(Ycbcr420MapTwice, "cta.420-map.duplicate", Warning, "a second YCbCr 4:2:0 Capability Map Data Block")  \
    X(Ycbcr420MapPastSvds, "cta.420-map.bit-past-svds", Warning,                                             \
      "a YCbCr 4:2:0 capability map bit set past the short video descriptors")                               \
    X(VendorLength, "cta.vendor.length", Failure, "a vendor-specific data block too short for its OUI")      \
    X(HdmiVsdbLength, "cta.hdmi-vsdb.length", Warning, "an HDMI VSDB too short for the physical address")    \
    X(HdmiVsdbCutShort, "cta.hdmi-vsdb.cut-short", Warning,                                                  \
      "an HDMI VSDB whose latency or HDMI video fields run past its end")                                    \
    X(HdmiVsdbTwice, "cta.hdmi-vsdb.duplicate", Warning,                                                     \
      "a second HDMI VSDB; a source reads the first (its physical address)")                                 \
    X(HdmiVsdbTmds, "cta.hdmi-vsdb.tmds-above-340", Warning,                                                 \
      "an HDMI VSDB maximum TMDS clock above 340 MHz; higher rates belong in the HDMI Forum block")          \
    X(HdmiVicWithoutVic, "cta.hdmi-vsdb.vic-not-in-vdb", Warning,                                            \
      "an HDMI VIC whose CTA-861 VIC the Video Data Blocks do not list")                                     \
    X(HdmiForumLength, "cta.hf.length", Warning, "an HDMI Forum VSDB or SCDB cut short")                     \
    X(HdmiForumReservedFrl, "cta.hf.reserved-frl", Failure, "a reserved Max_FRL_Rate")                       \
    X(EeodbPosition, "cta.hf-eeodb.position", Warning,                                                       \
      "an HF-EEODB that is not the first data block of block 1; a source does not read it, nor does the "    \
      "decoder")                                                                                             \
    X(EeodbCount, "cta.hf-eeodb.count", Failure, "an HF-EEODB without its count, or with a count of 0")      \
    X(EeodbBlocksMissing, "cta.hf-eeodb.blocks-missing", Warning,                                            \
      "fewer extension blocks present than an HF-EEODB states, but all that byte 126 states: an image "      \
      "read by a reader that knows no HF-EEODB")                                                             \
    X(EeodbBaseCount, "cta.hf-eeodb.base-count", Warning,                                                    \
      "an HF-EEODB beside a base block whose extension count is not 1")                                      \
    X(DolbyVisionLength, "cta.dolby-vision.length", Warning, "a Dolby Vision block cut short")               \
    X(DolbyVisionVersion, "cta.dolby-vision.version", Warning, "a Dolby Vision block of an unknown version") \
    X(DolbyAudioLength, "cta.dolby-audio.length", Warning, "a Dolby audio block cut short")

enum class Rule : uint8_t {
#define EDID_RULE_CONSTANT(name, ...) name,
    EDID_RULES(EDID_RULE_CONSTANT)
#undef EDID_RULE_CONSTANT
};

struct RuleInfo {
    const char *id;
    Finding::Severity severity;
    const char *meaning;
};

// Every rule, in the order of the table.
std::span<const RuleInfo> edidRules();
const RuleInfo &ruleInfo(Rule rule);

} // namespace edid
