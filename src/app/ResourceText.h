#pragma once
// Keyed user-facing messages. Every message has a "RES_" key and a built-in
// English text. With the language English (any case) the English text is
// shown; with any other language the value of the key in section
// [ResourceString] of that language's file, or an empty text when the file or
// the key is missing (the English text is deliberately not a fallback).
//
// Callers name a message through the typed constants below:
//     dialogs.error(ResourceText(res::Check_CDRom));
// A text that begins with a blank is appended to a file name or number.

#include <QString>

#include <array>

namespace dw {

namespace res {

struct Key {
    const char* key;      // "RES_..."
    const char* english;  // the built-in English text (UTF-8)
};

// Address users write to when the WMA encoder is missing.
inline constexpr char SupportAddress[] = "support@quobel.example";

inline constexpr Key Check_CDRom{"RES_Check_CDRom", "Can not find audio CD in your CD device."};
inline constexpr Key NotFound_CDRom{"RES_NotFound_CDRom", "No CD devices found!"};
inline constexpr Key NotRead_Cd{"RES_NotRead_Cd", "Not get CD device information!"};
inline constexpr Key Close_CD_Error{"RES_Close_CD_Error", "Error while closing CD handle!"};
inline constexpr Key Select_Track{"RES_Select_Track", "Please select a track at least!"};
inline constexpr Key Select_0{"RES_Select_0",
                              "You select to extract 0 second, please change it on Options dialog."};
inline constexpr Key Directory_Not_Exist{"RES_Directory_Not_Exist", "The output directory does not exist."};
inline constexpr Key Create_Directory{"RES_Create_Directory", "creates a new directory?"};
inline constexpr Key Check_Output{"RES_Check_Output", "Please check the output directory setting."};
inline constexpr Key Get_CDHandle{"RES_Get_CDHandle", "Please access CD devices rightly above all!"};
inline constexpr Key Run_Again{"RES_Run_Again", "Configuration finished. Please exit the software and run again!"};
inline constexpr Key RealOne_Window_Exist{"RES_RealOne_Window_Exist",
                                          "Please close RealOne Player firstly.Continue?"};
inline constexpr Key Clear_History{"RES_Clear_History", " list records are deleted!"};
inline constexpr Key Play{"RES_Play", "Play "};
inline constexpr Key ReadTocError{"RES_ReadTocError", "Error while reading TOC information!"};
inline constexpr Key Rip_Time_Error{"RES_Rip_Time_Error", "Please check the song length to extract."};
inline constexpr Key Select_Directory{"RES_Select_Directory", "Please select the directory to save mp3 and wav file"};
inline constexpr Key Initing{"RES_Initing", "Initializing..."};
inline constexpr Key Extracting{"RES_Extracting", "Extracting"};
inline constexpr Key Encoding{"RES_Encoding", "Encoding"};
inline constexpr Key Decoding{"RES_Decoding", "Decoding"};
inline constexpr Key WAV_TO_MP3{"RES_WAV_TO_MP3", "Encoding WAV to MP3"};
inline constexpr Key MP3_TO_WAV{"RES_MP3_TO_WAV", "Decoding MP3 to WAV"};
inline constexpr Key WAV_TO_OGG{"RES_WAV_TO_OGG", "Encoding WAV to OGG"};
inline constexpr Key WAV_TO_WMA{"RES_WAV_TO_WMA", "Encoding WAV to WMA"};
inline constexpr Key WAV_RESAMPLE{"RES_WAV_RESAMPLE", "Resampling WAV"};
inline constexpr Key ReadCDAudioError{"RES_ReadCDAudioError", "Error while reading CD information!"};
inline constexpr Key CreateWavFileError{"RES_CreateWavFileError",
                                        " is not a valid file name.Please rename the Title in the CD tracks list."};
inline constexpr Key CreateFileError{"RES_CreateFileError",
                                     "WAV file will be created maybe is been using,extract failed!"};
inline constexpr Key ModifyCDParmsError{"RES_ModifyCDParmsError", "CD extract failed!Please try again."};
inline constexpr Key Operate_Fail{"RES_Operate_Fail", "maybe be used,operate fail!"};
inline constexpr Key Check_Mp3Options{
    "RES_Check_Mp3Options",
    "Create MP3 file error!\nPlease check the output and lame options or run application again."};
inline constexpr Key File_Exist{"RES_File_Exist", " has existed,overite it?"};
inline constexpr Key CreateProcess_Error{"RES_CreateProcess_Error", "Error while creating mp3 encoding process!"};
inline constexpr Key NoWmaEncoder{"RES_NoWmaEncoder",
                                  "Can not find WMA encoder,please contact with support@quobel.example!"};
inline constexpr Key ID3Edit_Caption{"RES_ID3Edit_Caption", "ID3 Tag Edit"};
inline constexpr Key SaveTag_Error{"RES_SaveTag_Error", "Could not save Tag!"};
inline constexpr Key Ask_RemoveTag{"RES_Ask_RemoveTag", "Do you want to remove these tags?"};
inline constexpr Key TitleStr{"RES_TitleStr", "Record"};
inline constexpr Key NoNameStr{"RES_NoNameStr", "NoName"};
inline constexpr Key RecordingStr{"RES_RecordingStr", "Recording..."};
inline constexpr Key MCI_Init_Fail{"RES_MCI_Init_Fail", "Error while initializing MCI device!"};
inline constexpr Key Save_Error{"RES_Save_Error", "Error while saving sound file!"};
inline constexpr Key Check_FileName{"RES_Check_FileName", "Please check the filename correct or not"};
inline constexpr Key Wav_File{"RES_Wav_File", "The save file should be WAV!"};
inline constexpr Key Save_Fail{"RES_Save_Fail",
                               "Error when saving WAV file,please check if the file is being uesd."};
inline constexpr Key Delete_Fail{"RES_Delete_Fail",
                                 "Error when deleting file, please check if the file is being uesd."};
inline constexpr Key Discard_Modify{"RES_Discard_Modify", "Discard the modification since last save file."};
inline constexpr Key Have_Modify{"RES_Have_Modify", " has been modified,Save it?"};
inline constexpr Key File_Cannot_Create{"RES_File_Cannot_Create", " maybe be used!"};

// Every key above, in table order (for language-file templates and checks).
inline constexpr std::array<Key, 50> AllKeys{
    Check_CDRom,      NotFound_CDRom,     NotRead_Cd,       Close_CD_Error,     Select_Track,
    Select_0,         Directory_Not_Exist, Create_Directory, Check_Output,       Get_CDHandle,
    Run_Again,        RealOne_Window_Exist, Clear_History,  Play,               ReadTocError,
    Rip_Time_Error,   Select_Directory,   Initing,          Extracting,         Encoding,
    Decoding,         WAV_TO_MP3,         MP3_TO_WAV,       WAV_TO_OGG,         WAV_TO_WMA,
    WAV_RESAMPLE,     ReadCDAudioError,   CreateWavFileError, CreateFileError,  ModifyCDParmsError,
    Operate_Fail,     Check_Mp3Options,   File_Exist,       CreateProcess_Error, NoWmaEncoder,
    ID3Edit_Caption,  SaveTag_Error,      Ask_RemoveTag,    TitleStr,           NoNameStr,
    RecordingStr,     MCI_Init_Fail,      Save_Error,       Check_FileName,     Wav_File,
    Save_Fail,        Delete_Fail,        Discard_Modify,   Have_Modify,        File_Cannot_Create,
};

namespace detail {
constexpr bool allKeysFilled()
{
    for (const Key& k : AllKeys)
        if (k.key == nullptr || k.english == nullptr)
            return false;
    return true;
}
}  // namespace detail
static_assert(detail::allKeysFilled(), "AllKeys must list every key");

// The built-in English text of a key, or nullptr when the key is not one of the above.
const char* EnglishText(const QString& key);

}  // namespace res

// The text of a message in the current language (TextLanguage()).
QString ResourceText(const res::Key& key);
QString ResourceText(const char* key, const QString& english);

// The same for an explicit language (for callers that hold another language
// than the current setting, and for tests).
QString ResourceTextFor(const QString& language, const QString& key, const QString& english);

}  // namespace dw
