#pragma once
// The settings a rip reads, taken from the job's configuration when a rip
// starts, and the policy for existing files that the front end chose.

#include <QString>

namespace dw {

struct TJobConfig;

struct TRipSettings {
    QString OutputFolder;
    bool EnableRipTime = false;
    int RipTime = 0;  // seconds
    bool IsNormalize = false;
    int NormalizePercent = 100;
    // Whether a finished track replaces a file of the same name. The window
    // replaces (as extracting always did); the command line keeps existing
    // files unless asked.
    bool Overwrite = true;

    // The rip values of a job's configuration (its options and Overwrite).
    static TRipSettings FromConfig(const TJobConfig& config);
};

}  // namespace dw
