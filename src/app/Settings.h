#pragma once
// The one process-wide settings record, its INI file options.ini, and the
// settings folder. The record is the stored options (TStoredOptions, what
// options.ini holds) plus the current disc's information (its TDiscInfo
// part, which the disc-information cache persists per disc, not
// options.ini). Only front ends reach the record itself (AppSettings,
// LoadSettings, SaveSettings: frontend/AppSettings.h, declared below where
// that folder is visible): a job gets a copy of the options and the disc in
// its TJobConfig (app/JobConfig.h) when it is set up.

#include "app/DiscInfo.h"

#include <QString>

#include <array>
#include <span>

namespace dw {

struct TStoredOptions {
    // [CommonOptions]
    QString OutputFolder;        // with trailing "/"
    int OutputFormat = 0;        // 0 MP3, 1 WAV, 2 OGG, 3 WMA, 4 FLAC, 5 Opus
    bool IsKeepWav = false;
    bool IsNormalize = false;
    int NormalizePercent = 95;
    bool EnableRipTime = false;
    int RipTime = 0;             // seconds; 0: not set
    // [Mp3Options]
    bool IsSelectVBR = false;
    bool IsVBRHead = false;      // true = do not write the VBR header frame
    int BitRate = 128;           // kbit/s (minimum under VBR)
    int MaxBitRate = 320;        // kbit/s under VBR
    int MpegQuality = 0;         // 0 default, 1 faster, 2 higher quality
    int VBRQuality = 4;          // 0..9
    int StereoMode = 1;          // 0 stereo, 1 joint, 2 forced joint, 3 dual, 4 mono
    // [OggOptions]
    bool IsUseCompress = true;   // encode by quality
    int CompressPosition = 30;   // 30..100
    int OggMaxBitRate = 0;       // key MaxBitRate
    int OggNomalBitRate = 0;     // key NomalBitRate
    int OggMinBitRate = 0;       // key MinBitRate
    // [WMAOptions]
    int WmaBitRate = 8;          // key BitRate: profile position 0..32
    // [FlacOptions]
    int FlacCompressionLevel = 5;  // key CompressionLevel: 0 fastest .. 8 smallest
    bool FlacVerify = true;        // key Verify: the encoder checks its own output
    // [OpusOptions]
    int OpusBitRate = 160;       // key BitRate: kbit/s, 6..510
    bool OpusVbr = true;         // key IsVBR
    // [WaveConvert]
    int WaveDither = 0;          // key Dither: WAV conversions that narrow the samples add
                                 // TPDF dither: 0 only to 8 bits, 1 whenever narrowing, 2 never
    // [CDOptions]
    int Index = -1;              // chosen drive position, -1 = none
    bool CDDb = false;
    // [RecordOptions]
    bool SaveMp3 = false;
    // [QueryCDDB]
    QString Server;
    QString Script = QStringLiteral("/~cddb/cddb.cgi");
    bool UseProxy = false;
    QString ProxyAddress;
    QString Port = QStringLiteral("80");
    // [ID3]
    bool Use = false;
    // [ReplayGain]
    bool ReplayGainUse = false;  // key Use: ripped tracks get ReplayGain values
    // [Id3v2]
    bool Id3v2Use = true;        // key Use: MP3 files get an ID3v2.4 tag beside the ID3v1 trailer
    // [Options]
    QString Lan = QStringLiteral("English");
};

// The current disc (DiscArtist ... DiscTitles) is the TDiscInfo base: not in options.ini.
struct TAppSettings : TDiscInfo, TStoredOptions {
    TDiscInfo& Disc() { return *this; }
    const TDiscInfo& Disc() const { return *this; }
    TStoredOptions& Options() { return *this; }
    const TStoredOptions& Options() const { return *this; }
};

// Host of the default CDDB server.
extern const char* const DefaultCddbServer;

// The settings folder with trailing "/": <app data>/Quobel/Discwright/, created
// with its parents when missing. The program folder when that folder cannot be
// created or is not writable, so settings are saved somewhere; when neither is
// writable, saving reports the failure.
QString GetAppDataFolder();
// GetAppDataFolder() + "options.ini".
QString SettingsFilePath();
// The default output folder with trailing "/": the user's music folder (XDG
// user-dirs, else ~/Music); settingsFolder only when the user has no home.
QString DefaultOutputFolder(const QString& settingsFolder);

// The language the program's texts are shown in (ResourceText): the Lan of
// the process-wide record, which the front ends set. Texts are the one
// process-wide value the engine reads.
const QString& TextLanguage();

// Loads from / saves to an explicit file (LoadSettings and SaveSettings use SettingsFilePath()).
// defaultOutputFolder is the OutputFolder default when the file has none.
void LoadSettingsFrom(TAppSettings& s, const QString& file, const QString& defaultOutputFolder);
bool SaveSettingsTo(const TAppSettings& s, const QString& file, QString* error = nullptr);

// Every persisted setting in file order with the values it accepts: the
// ranges of the options dialog, which the dialog and the command line both
// enforce when a value is entered. Loading holds a file's values to them as
// well: a number outside its range is clamped to the nearer end (the proxy
// port too), a text that breaks its rule (an empty output folder, a language
// name with a slash) and a number that does not parse take the default.
struct SettingDescriptor {
    const char* section;
    const char* key;
    enum Type { Text, Integer, Boolean } type;
    // Integers lie within min..max; booleans are 0 or 1. A Text setting with
    // min <= max holds a decimal integer in that range (the proxy port).
    int min = 0;
    int max = -1;
};
std::span<const SettingDescriptor> SettingDescriptors();
// The descriptor of one setting (names compare without regard to case), or nullptr.
const SettingDescriptor* FindSetting(const QString& section, const QString& key);

// Value of one setting as text ("1"/"0" for booleans); *ok = false when unknown.
QString SettingValue(const TAppSettings& s, const QString& section, const QString& key, bool* ok = nullptr);
// Checks a value entered for one setting. Booleans take 0/1, true/false,
// yes/no, on/off. On success *stored holds the text as the file keeps it
// ("1"/"0", decimal integers); otherwise *problem names the setting and the
// values it accepts ("OggOptions.CompressPosition must be 30 to 100, not 5").
bool CheckSettingValue(const QString& section, const QString& key, const QString& value, QString* stored,
                       QString* problem);
// Sets one setting after CheckSettingValue; false (with *problem) when it refuses.
bool SetSettingValue(TAppSettings& s, const QString& section, const QString& key, const QString& value,
                     QString* problem = nullptr);
// Checks a value and writes only that key into file, under the file's lock:
// the file is read afresh, so keys other processes changed meanwhile stay.
// False with *error when the value is refused or the file could not be
// read or written (the file is then unchanged).
bool StoreSetting(const QString& file, const QString& section, const QString& key, const QString& value,
                  QString* error);

}  // namespace dw

// The record itself, where the front-end folder is visible (front ends, tests).
#if __has_include("frontend/AppSettings.h")
#include "frontend/AppSettings.h"
#endif
