#pragma once
// The one process-wide settings record, its INI file options.ini, and the
// settings folder. The record also carries the current disc's tag values,
// which the disc-information cache persists per disc (not options.ini).

#include <QString>

#include <array>
#include <span>

namespace dw {

struct TAppSettings {
    // [CommonOptions]
    QString OutputFolder;        // with trailing "/"
    int OutputFormat = 0;        // 0 MP3, 1 WAV, 2 OGG, 3 WMA
    bool IsKeepWav = false;
    bool IsNormalize = false;
    int NormalizePercent = 95;
    bool EnableRipTime = false;
    int RipTime = 0;             // seconds
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
    int CompressPosition = 30;   // 30..100, clamped on load
    int OggMaxBitRate = 0;       // key MaxBitRate
    int OggNomalBitRate = 0;     // key NomalBitRate
    int OggMinBitRate = 0;       // key MinBitRate
    // [WMAOptions]
    int WmaBitRate = 8;          // key BitRate: profile position 0..32
    // [CDOptions]
    int Index = -1;              // chosen drive position, -1 = none
    bool CDDb = false;
    // [RecordOptions]
    bool SaveMp3 = false;
    // Current disc (not in options.ini)
    QString DiscArtist, DiscAlbum, DiscYear;
    int DiscGenre = -1;          // 0-based index into GenreNames, -1 none
    QString DiscComment;
    int DiscTrackCount = 0;
    std::array<QString, 101> DiscTitles;  // slot k = track k (1..100); slot 0 unused
    // [QueryCDDB]
    QString Server;
    QString Script = QStringLiteral("/~cddb/cddb.cgi");
    bool UseProxy = false;
    QString ProxyAddress;
    QString Port = QStringLiteral("80");
    // [ID3]
    bool Use = false;
    // [Options]
    QString Lan = QStringLiteral("English");
};

// The process-wide record. Read and written on the main thread; the track rip
// thread reads the rip fields while a modal rip window keeps them unchanged.
extern TAppSettings AppSettings;

// Host of the default CDDB server.
extern const char* const DefaultCddbServer;

// The settings folder with trailing "/": <app data>/Quobel/Discwright/, created
// with its parents when missing; the program folder when it cannot be created.
QString GetAppDataFolder();
// GetAppDataFolder() + "options.ini".
QString SettingsFilePath();

// Reads every options.ini key into AppSettings (disc fields untouched).
void LoadSettings();
// Writes every key to options.ini (atomically). False when the file could not be written.
bool SaveSettings();

// Loads from / saves to an explicit file (LoadSettings and SaveSettings use SettingsFilePath()).
// defaultOutputFolder is the OutputFolder default when the file has none.
void LoadSettingsFrom(TAppSettings& s, const QString& file, const QString& defaultOutputFolder);
bool SaveSettingsTo(const TAppSettings& s, const QString& file, QString* error = nullptr);

// Every persisted setting in file order, for the command line.
struct SettingDescriptor {
    const char* section;
    const char* key;
    enum Type { Text, Integer, Boolean } type;
};
std::span<const SettingDescriptor> SettingDescriptors();
// Value of one setting as text ("1"/"0" for booleans); *ok = false when unknown.
QString SettingValue(const TAppSettings& s, const QString& section, const QString& key, bool* ok = nullptr);
// Sets one setting from text (booleans take 0/1, true/false, yes/no, on/off); false when the
// setting is unknown or the text does not fit its type. CompressPosition is clamped as on load.
bool SetSettingValue(TAppSettings& s, const QString& section, const QString& key, const QString& value);

}  // namespace dw
