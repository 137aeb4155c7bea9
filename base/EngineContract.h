#pragma once
// What Vexlo and its engine agree on beyond the AbortFlag: the engine's exit
// statuses and the one rule for "the result holds the whole source".
namespace vexlo::contract {

// trevok's exit statuses.
inline constexpr int kExitComplete = 0;
// Failed, refused or cancelled (the AbortFlag says 2).
inline constexpr int kExitFailed = 2;
// Converted, but the source's data ended before its declared length (a cut
// copy): the converted part is kept, the AbortFlag says 0 (1 after "Stop
// after this file"), and the caller keeps the source.
inline constexpr int kExitIncomplete = 3;
// Converted to the end, but reading or decoding the source met errors (a
// card's read error, damaged data that the decoder papered over): the target
// is kept, the AbortFlag says 0 (1 after "Stop after this file"), and the
// caller keeps the source.
inline constexpr int kExitSourceDamaged = 4;

// How far a result's running time may lie from its source's: 0.5 s (the
// frame and audio-frame rounding of a rate change, an encoder's priming)
// plus 0.1 % of the source's length (1.1 s of 10 minutes, 4.1 s of an hour).
inline double durationTolerance(double sourceSeconds) { return 0.5 + 0.001 * sourceSeconds; }

// `converted` seconds fall short of a source of `sourceSeconds` (unknown,
// 0 or less, is never short).
inline bool isShortOf(double converted, double sourceSeconds)
{
    return sourceSeconds > 0 && sourceSeconds - converted > durationTolerance(sourceSeconds);
}

// `converted` seconds run beyond a source of `sourceSeconds`.
inline bool runsBeyond(double converted, double sourceSeconds)
{
    return sourceSeconds > 0 && converted - sourceSeconds > durationTolerance(sourceSeconds);
}

} // namespace vexlo::contract
