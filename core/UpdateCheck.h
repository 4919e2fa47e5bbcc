#pragma once

// The daily update check: what it asks, where it keeps the time of its last attempt, and how it
// reads the answer. The processor starts it (startUpdateCheck); these helpers hold the rest.

#include <juce_core/juce_core.h>
#include <optional>

namespace oxlade::updatecheck
{
/** The version this build reports and compares against. */
inline constexpr const char* ownVersion = "1.0.2";

/** Our version endpoint: a GET answers {"latest": "x.y.z", "url": "download page"}. */
inline constexpr const char* defaultEndpoint = "https://harlund.audio/oxlade/version.json";

/** Minimum time between two attempts. */
inline constexpr juce::int64 checkIntervalMs = 24 * 60 * 60 * 1000;

/** The address the check asks: defaultEndpoint, unless the environment variable OXLADE_UPDATE_URL
    is set to another address. The core tests set it to a server of their own on 127.0.0.1, so
    no test ever reaches an outside address; it also serves a staging server. */
juce::String endpoint();

/** The check record, "update_check.json" in Harlund/Oxlade under the application-data root. */
juce::File recordFile();

/** True when the record allows a check at time now: it is missing, unreadable, malformed, has no
    usable "lastCheck", or that time lies 24 hours or more before now. A time less than 24 hours
    ago, or in the future, forbids the check. */
bool isCheckDue (const juce::File& record, juce::Time now);

/** Replaces the record with {"lastCheck": now as ISO 8601 UTC with milliseconds}, creating its
    folder. Returns false when it could not be written. */
bool writeRecord (const juce::File& record, juce::Time now);

/** ISO 8601 in UTC with milliseconds, e.g. "2024-05-01T09:30:00.000Z". */
juce::String formatUtcIso8601 (juce::Time t);

/** The fields of an answer; missing keys are empty. */
struct Answer
{
    juce::String latest, url;
};

/** Reads an answer. Returns nothing when the text is not a JSON object, or "latest" / "url" are
    present with another type than string. */
std::optional<Answer> parseAnswer (const juce::String& text);

/** True when latest is newer than own: natural comparison ignoring case, so digit runs compare
    as numbers ("1.0.10" is newer than "1.0.2"). */
bool isNewerVersion (const juce::String& latest, const juce::String& own = ownVersion);

/** Takes the once-per-process right to check: true for the first caller only. */
bool claimProcessCheck() noexcept;

/** Test hook: forgets that this process has checked, so a test can run a fresh check. */
void resetProcessCheckForTesting() noexcept;

/** Test hook: how many fetch threads have finished in this process (any outcome). A fetch that
    found an update has posted its result to the message thread before this count moves. */
int finishedFetchCount() noexcept;
} // namespace oxlade::updatecheck
