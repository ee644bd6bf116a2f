#pragma once
// Every discwright-cli command: argv holds the words after the command name.
// Each returns the process exit status. One file per command group.

#include <QStringList>

namespace dw::cli {

int cmdConfig(const QStringList& argv);      // CmdConfig.cpp
int cmdDrives(const QStringList& argv);      // CmdDisc.cpp
int cmdList(const QStringList& argv);        // CmdDisc.cpp
int cmdTitle(const QStringList& argv);       // CmdDisc.cpp
int cmdCddb(const QStringList& argv);        // CmdCddb.cpp
int cmdEncode(const QStringList& argv);      // CmdEncode.cpp
int cmdConvert(const QStringList& argv);     // CmdConvert.cpp
int cmdRip(const QStringList& argv);         // CmdRip.cpp
int cmdInfo(const QStringList& argv);        // CmdWave.cpp
int cmdConvertWav(const QStringList& argv);  // CmdWave.cpp
int cmdTag(const QStringList& argv);         // CmdTag.cpp
int cmdEncodeOgg(const QStringList& argv);   // CmdOgg.cpp: the words after "encode ogg"
int cmdDecode(const QStringList& argv);      // CmdOgg.cpp: "decode ogg IN OUT"
int cmdInfoOgg(const QStringList& argv);     // CmdOgg.cpp: info FILE for Ogg files
int cmdRecord(const QStringList& argv);      // CmdRecord.cpp
int cmdPlay(const QStringList& argv);        // CmdPlay.cpp

}  // namespace dw::cli
