#pragma once
// The day and time a video was recorded, carried over to the converted file
// (its creation_time and its modification time), so that home videos still
// sort by the day they were filmed. Where it is read from, in order: the
// container's creation_time; the date an AVCHD camcorder writes into its
// H.264 stream (the "MDPM" user-data SEI message); the source file's
// modification time.
#include "SourceProbe.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vexlo::engine {

enum class DateOrigin { Container, Camera, FileTime };

struct RecordingDate {
    int64_t secondsUtc = 0; // since 1970-01-01 00:00 UTC
    DateOrigin origin = DateOrigin::FileTime;
};

// A time as containers write it ("2019-06-01T10:20:30.000000Z", also with a
// space for the "T", no fraction, no "Z", or a "+hh:mm" offset), in seconds
// since 1970 UTC. nullopt for other text and for times before 1971 (the
// zero dates of unset clocks and muxers) or more than a day in the future.
std::optional<int64_t> parseContainerTime(std::string_view text);

// "2019-06-01T10:20:30.000000Z", the form containers carry.
std::string containerTimeText(int64_t secondsUtc);

// The recording time in one H.264 SEI NAL unit's payload (the bytes after
// the NAL header, emulation prevention bytes still in), from its MDPM
// message; nullopt when it holds none or an impossible date.
std::optional<int64_t> mdpmRecordingTime(std::string_view seiPayload);

// The recording time in one H.264 access unit: Annex B start codes when
// `lengthSize` is 0, else NAL units prefixed with their length in
// `lengthSize` (1 to 4) bytes, as MP4 and Matroska store them.
std::optional<int64_t> accessUnitRecordingTime(const uint8_t* data, size_t size, int lengthSize);

// Reads the first packets of the H.264 stream number `videoIndex` of
// `source` for an MDPM recording time.
std::optional<int64_t> readCameraRecordingTime(const std::string& source, int videoIndex);

// The recording date of `source` as described above; nullopt only when not
// even the file's time can be read.
std::optional<RecordingDate> recordingDateOf(const std::string& source, const SourceInfo& info);

// False when $VEXLO_KEEP_RECORDING_DATE is "0" (the user switched it off).
bool keepRecordingDateWanted();

// Sets the file's modification time (and access time) to `secondsUtc`.
bool setFileTime(const std::string& path, int64_t secondsUtc);

} // namespace vexlo::engine
