// discwright-cli: the command line front end. It runs the same engine as the
// windows; settings come from options.ini and flags override them for one run.

#include <QCoreApplication>
#include <QStringList>

#include <chrono>
#include <cstdio>
#include <exception>

#include "cli/CliCommon.h"
#include "cli/Commands.h"
#include "app/Version.h"
#include "jobs/EncodeThread.h"
#include "platform/NativePath.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const QStringList&);
    const char* synopsis;
    const char* summary;
};

const Command kCommands[] = {
    {"config", dw::cli::cmdConfig,
     "config [SECTION.KEY[=VALUE]]",
     "show or change a setting in options.ini"},
    {"drives", dw::cli::cmdDrives,
     "drives [--device PATH] [--json]",
     "list the CD drives and images"},
    {"list", dw::cli::cmdList,
     "list [--device PATH] [--json]",
     "list the tracks of the audio CD"},
    {"title", dw::cli::cmdTitle,
     "title [--device PATH] N TEXT",
     "rename track N and save it in the disc cache"},
    {"cddb", dw::cli::cmdCddb,
     "cddb [--device PATH] [--server URL] [--match N] [--timeout SECONDS] [--apply] [--json]",
     "look the disc up on a CDDB server; --apply keeps the titles in the disc cache"},
    {"encode", dw::cli::cmdEncode,
     "encode mp3|wav|wma|ogg INPUT OUTPUT [--overwrite] [--json] [--quiet]\n"
     "      (ogg: [--quality Q | --bitrate N [--min N] [--max N]] [--tag NAME=VALUE ...])",
     "encode WAV to MP3, WMA or Ogg Vorbis, or decode MP3 to WAV"},
    {"convert", dw::cli::cmdConvert,
     "convert mp3|wav|ogg|wma|flac|opus FILES... [--output DIR] [--jobs N] [--replaygain] [--overwrite] [--json]\n"
     "      [--quiet]",
     "convert files through the job runner (WAV to MP3, OGG or WMA, MP3 to WAV), N at once"},
    {"decode", dw::cli::cmdDecode,
     "decode ogg IN.ogg OUT.wav [--overwrite] [--quiet]",
     "decode an Ogg Vorbis file to WAV"},
    {"rip", dw::cli::cmdRip,
     "rip [--device PATH] [--tracks 1,3-5|all] [--output DIR] [--format wav|mp3|ogg|wma] [--normalize PERCENT]\n"
     "      [--rip-time SECONDS] [--mode drive|ripper] [--keep-wav] [--replaygain]\n"
     "      [--overwrite] [--json] [--quiet]",
     "rip tracks and encode them to the output format"},
    {"info", dw::cli::cmdInfo,
     "info FILE [--json]",
     "show the format of a WAV or Ogg Vorbis file"},
    {"convert-wav", dw::cli::cmdConvertWav,
     "convert-wav IN OUT [--channels 1|2] [--rate 1000-384000] [--bits 8|16|24|32] [--encoding pcm|ima-adpcm]\n"
     "      [--dither auto|on|off] [--overwrite] [--quiet]",
     "convert a WAV file; an existing OUT is kept unless --overwrite"},
    {"tag", dw::cli::cmdTag,
     "tag show|set|remove FILE.mp3 [--title T] [--artist A] [--album A] [--year Y] [--comment C] [--track N] [--genre NAME|NUMBER]",
     "show, change or remove the ID3v1 tag of an MP3 file (tag genres lists the genres)"},
    {"record", dw::cli::cmdRecord,
     "record OUT.wav --seconds N [--rate HZ] [--channels 1|2] [--bits 8|16] [--overwrite] [--quiet]",
     "record from the default capture device into a WAV file (Ctrl-C stops early)"},
    {"play", dw::cli::cmdPlay,
     "play FILE.ogg|FILE.wav [--start SECONDS] [--balance -100..100] [--quiet]",
     "play a file on the default sound device (balance: -100 left only, 0 unchanged, 100 right only;\n"
     "      Ctrl-C stops)"},
};

void printUsage(FILE* to)
{
    std::fprintf(to, "usage: discwright-cli COMMAND [OPTIONS]\n\ncommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(to, "  %s\n      %s\n", c.synopsis, c.summary);
    std::fprintf(to, "\nCommon options: --device PATH (drive or CD image), --json, --quiet\n"
                     "discwright-cli COMMAND --help shows one command; --version the version.\n");
}

const Command* findCommand(const QString& name)
{
    for (const Command& c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

void printCommandHelp(const Command& c)
{
    std::printf("usage: discwright-cli %s\n\n%s\n\nCommon options: --device PATH (drive or CD image), --json, "
                "--quiet, --help\n",
                c.synopsis, c.summary);
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("discwright-cli");
    // Arguments are taken from argv as the bytes they are: file names that are
    // not valid UTF-8 must reach the file system unchanged.
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << dw::PathFromNative(argv[i]);
    if (args.isEmpty()) {
        printUsage(stderr);
        return 2;
    }
    const QString name = args.takeFirst();
    if (name == "--version" || name == "-V") {
        std::printf("discwright-cli %s\n", dw::ProductVersion().toUtf8().constData());
        return 0;
    }
    if (name == "help" || name == "--help" || name == "-h") {
        // "help COMMAND" is the same as "COMMAND --help".
        if (const Command* c = args.isEmpty() ? nullptr : findCommand(args.front())) {
            printCommandHelp(*c);
            return 0;
        }
        printUsage(stdout);
        return 0;
    }
    if (const Command* c = findCommand(name)) {
        // --help anywhere before a "--" asks for the command's usage.
        const qsizetype end = args.indexOf(QStringLiteral("--"));
        const QStringList options = end < 0 ? args : args.mid(0, end);
        if (options.contains(QStringLiteral("--help")) || options.contains(QStringLiteral("-h"))) {
            printCommandHelp(*c);
            return 0;
        }
        try {
            const int status = c->run(args);
            // An encoder child given up on (a stop) is ended before the
            // command is: it gets a second after SIGTERM, then SIGKILL.
            dw::WaitForEncoderThreads(std::chrono::seconds(3));
            return status;
        } catch (const std::exception& e) {
            return dw::cli::fail(QString::fromUtf8(e.what()));
        } catch (...) {
            return dw::cli::fail("unexpected internal error");
        }
    }
    return dw::cli::fail(QString("unknown command '%1' (try discwright-cli help)").arg(name), 2);
}
