#pragma once
// What a job runs with, as one value: the stored options as they stood when
// the front end set the job up, the disc being ripped, and the answers the
// front end gathered before the job (may a finished file replace one of the
// same name). Each front end builds it once, from the settings record plus
// its own flags and questions, and hands it down; the engines, their stages
// and the encoders read only this copy, so a settings change on disk or in
// the window while a job runs does not reach the job.

#include "app/DiscInfo.h"
#include "app/OutputFormats.h"
#include "app/Settings.h"

#include <QStringList>

namespace dw {

struct TJobConfig {
    TStoredOptions Options;  // options.ini's values, as the job started
    TDiscInfo Disc;          // the disc's values and titles as they stand in the listing
    // Whether a finished track or file replaces an existing one of the same
    // name. The window replaces (as extracting always did); the command line
    // keeps existing files unless told to replace them.
    bool Overwrite = true;
    // Conversions: outputs that existed when the job was set up and that the
    // user agreed to replace (without Overwrite, any other existing output is
    // kept and its item skipped).
    QStringList ReplaceOutputs;

    TOutputFormat Format() const { return StoredOutputFormat(Options.OutputFormat); }

    // The options and the disc of a settings record (front ends only).
    static TJobConfig FromSettings(const TAppSettings& settings)
    {
        TJobConfig c;
        c.Options = settings.Options();
        c.Disc = settings.Disc();
        return c;
    }
};

}  // namespace dw
