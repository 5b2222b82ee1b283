// corvina-convert: the headless front end.
#include "cli/CatalogueMode.h"
#include "cli/Inputs.h"
#include "cli/RawMode.h"
#include "cli/Terminal.h"
#include "hosting/TranscodeEngine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <optional>
#include <thread>

namespace {

using namespace corvina;

bool LoadLibraries() {
    std::string error;
    if (hosting::BindLibraries(hosting::ProgramFolder() + "Common", error))
        return true;
    std::fprintf(stderr, "%s\n", error.c_str());
    return false;
}

int PrintVersion() {
    std::printf("corvina-convert %s\n", CORVINA_VERSION);
    if (!LoadLibraries())
        return cli::kExitFailed;
    for (const hosting::LibraryVersion& library : hosting::BoundLibraryVersions())
        std::printf("%s %s\n", library.Name.c_str(), library.Version.c_str());
    return cli::kExitOk;
}

// "quiet", "error", "info", "debug", "all" -> the engine's level (-1 .. 3).
bool ParseLogLevel(const QString& text, int& level) {
    static const char* const kNames[] = {"quiet", "error", "info", "debug", "all"};
    for (int i = 0; i < 5; i++)
        if (text == QLatin1String(kNames[i])) {
            level = i - 1;
            return true;
        }
    return false;
}

int UsageError(const QString& message) {
    std::fprintf(stderr, "corvina-convert: %s\nTry 'corvina-convert --help'.\n",
                 qPrintable(message));
    return cli::kExitUsage;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("corvina-convert");
    QCoreApplication::setApplicationVersion(CORVINA_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Converts media files with Corvina's engine, without a window.\n\n"
        "  corvina-convert [-f NAME|INDEX] -o DIR [--overwrite] [--video-quality L]\n"
        "                  [--audio-quality L] [--size ITEM] [--frame-rate ITEM]\n"
        "                  [--channels Stereo|Mono] [--aspect ITEM] [--volume 0..10]\n"
        "                  [--jobs N] [--threads N] [--json] [--print-job]\n"
        "                  [--log-level LEVEL] INPUT...\n"
        "  corvina-convert --list-formats | --list-choices [-f NAME|INDEX]\n"
        "  corvina-convert --raw [--jobs N] [--threads N] -i IN -o OUT [-i IN -o OUT ...]\n"
        "                  [--input-options TEXT] [--output-options TEXT]\n"
        "  corvina-convert --version | --help\n\n"
        "An INPUT is a file, a folder (the .mov, .qt, .m4v, .mp4 and .m4a files under it, in\n"
        "path order) or - (paths on standard input, one per line). Option texts are\n"
        "name=value lines (e.g. \"vcodec=copy\\nacodec=copy\").\n\n"
        "Exit status: 0 every file Done, 1 one was not, 2 a wrong command line, 130 Ctrl-C.\n\n"
        "With --json, stdout carries one JSON object per line and nothing else:\n"
        "  {\"event\":\"file_started\",\"index\":0,\"input\":\"a.mov\",\"output\":\"out/a.mp4\"}\n"
        "  {\"bytes\":524288,\"event\":\"progress\",\"fps\":250,\"frame\":120,\"index\":0,\n"
        "   \"percent\":40,\"speed\":9.6,\"time_ms\":4800}\n"
        "  {\"event\":\"file_ended\",\"index\":1,\"input\":\"b.mov\",\"output\":\"out/b.mp4\",\n"
        "   \"reason\":\"b.mov: Unknown format\",\"status\":\"Fail\"}\n"
        "  {\"aborted\":0,\"done\":1,\"elapsed_ms\":5230,\"event\":\"batch_ended\",\"failed\":1}\n"
        "index is the file's place among the inputs; status is Done, Fail, Abort or Error;\n"
        "reason comes with Fail; speed is output time per second of wall time.");
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption(
        {"V", "version"},
        "Prints the program's version and the versions of the libraries it bound.");
    const QCommandLineOption rawOption("raw", "One engine task per -i/-o pair; no catalogue.");
    const QCommandLineOption inputOption("i", "An input file (--raw).", "IN");
    const QCommandLineOption outputOption({"o", "output"},
                                          "The output of the preceding -i (--raw).", "OUT");
    const QCommandLineOption inputOptionsOption(
        "input-options", "Engine options applied before each input is opened (--raw).", "TEXT");
    const QCommandLineOption outputOptionsOption(
        "output-options", "Engine options applied before each output is opened (--raw).", "TEXT");
    const QCommandLineOption jobsOption("jobs", "Tasks run at once.", "N", "1");
    const QCommandLineOption threadsOption(
        "threads", "Threads per decoder and encoder, 1 to 16 (default: the number of cores).", "N");
    const QCommandLineOption formatOption(
        {"f", "format"}, "The output format: its name or its index in --list-formats.",
        "NAME|INDEX");
    const QCommandLineOption overwriteOption("overwrite", "Replace existing output files.");
    const QCommandLineOption videoQualityOption(
        "video-quality", "Highest, Higher, Normal, Lower or Lowest.", "L", "Normal");
    const QCommandLineOption audioQualityOption(
        "audio-quality", "Highest, Higher, Normal, Lower or Lowest.", "L", "Normal");
    const QCommandLineOption sizeOption("size", "A video size item of the format.", "ITEM");
    const QCommandLineOption frameRateOption("frame-rate", "A frame rate item of the format.",
                                             "ITEM");
    const QCommandLineOption channelsOption("channels", "Stereo or Mono.", "ITEM");
    const QCommandLineOption aspectOption(
        "aspect", "Original, \"4:3 (Standard\" or \"16:9 (Wide Screen)\".", "ITEM");
    const QCommandLineOption volumeOption("volume", "Volume slider position, 5 = 100%.", "0..10",
                                          "5");
    const QCommandLineOption printJobOption("print-job",
                                            "Prints each file's engine job instead of converting.");
    const QCommandLineOption jsonOption(
        "json", "Progress and results as JSON lines on stdout (schema below).");
    const QCommandLineOption listFormatsOption("list-formats", "Lists the output formats.");
    const QCommandLineOption listChoicesOption("list-choices",
                                               "Lists the choices of a format (-f).");
    const QCommandLineOption logLevelOption(
        "log-level", "quiet, error, info, debug or all (default: error).", "LEVEL", "error");
    for (const QCommandLineOption& o :
         {versionOption,      rawOption,           inputOption,        outputOption,
          inputOptionsOption, outputOptionsOption, jobsOption,         logLevelOption,
          formatOption,       overwriteOption,     videoQualityOption, audioQualityOption,
          sizeOption,         frameRateOption,     channelsOption,     aspectOption,
          volumeOption,       printJobOption,      listFormatsOption,  listChoicesOption,
          jsonOption,         threadsOption})
        parser.addOption(o);

    if (!parser.parse(app.arguments()))
        return UsageError(parser.errorText());
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return cli::kExitOk;
    }
    if (parser.isSet(versionOption))
        return PrintVersion();

    int logLevel = 0;
    if (!ParseLogLevel(parser.value(logLevelOption), logLevel))
        return UsageError("unknown log level: " + parser.value(logLevelOption));
    bool jobsOk = false;
    const int jobs = parser.value(jobsOption).toInt(&jobsOk);
    if (!jobsOk || jobs < 1)
        return UsageError("--jobs takes a positive number");
    int threads = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    if (parser.isSet(threadsOption)) {
        bool threadsOk = false;
        threads = parser.value(threadsOption).toInt(&threadsOk);
        if (!threadsOk || threads < 1 || threads > 16)
            return UsageError("--threads takes a number from 1 to 16");
    }

    if (parser.isSet(rawOption)) {
        const QStringList inputs = parser.values(inputOption);
        const QStringList outputs = parser.values(outputOption);
        if (inputs.isEmpty() || inputs.size() != outputs.size())
            return UsageError("--raw needs one -o OUT for every -i IN");
        if (!parser.positionalArguments().isEmpty())
            return UsageError("--raw takes its files with -i and -o");
        cli::RawOptions options;
        for (qsizetype k = 0; k < inputs.size(); k++)
            options.Jobs.push_back({inputs[k].toStdString(), outputs[k].toStdString()});
        options.InputOptions = parser.value(inputOptionsOption).toStdString();
        options.OutputOptions = parser.value(outputOptionsOption).toStdString();
        options.LogLevel = logLevel;
        options.Parallel = jobs;
        options.Threads = threads;
        return cli::RunRaw(options); // the engine component loads the libraries
    }
    if (parser.isSet(listFormatsOption))
        return cli::ListFormats();
    if (parser.isSet(listChoicesOption))
        return cli::ListChoices(parser.value(formatOption).toStdString());

    cli::CatalogueOptions options;
    options.Format = parser.value(formatOption).toStdString();
    const QStringList outputs = parser.values(outputOption);
    if (outputs.size() != 1)
        return UsageError("give the output folder once with -o DIR");
    options.OutputDir = outputs[0].toStdString();
    if (!parser.values(inputOption).isEmpty())
        return UsageError("-i belongs to --raw; give the files as arguments");
    options.Overwrite = parser.isSet(overwriteOption);
    options.VideoQuality = parser.value(videoQualityOption).toStdString();
    options.AudioQuality = parser.value(audioQualityOption).toStdString();
    auto optional = [&parser](const QCommandLineOption& o) -> std::optional<std::string> {
        if (!parser.isSet(o))
            return std::nullopt;
        return parser.value(o).toStdString();
    };
    options.Size = optional(sizeOption);
    options.FrameRate = optional(frameRateOption);
    options.Channels = optional(channelsOption);
    options.Aspect = optional(aspectOption);
    bool volumeOk = false;
    options.Volume = parser.value(volumeOption).toInt(&volumeOk);
    if (!volumeOk || options.Volume < 0 || options.Volume > 10)
        return UsageError("--volume takes a position from 0 to 10");
    options.Jobs = jobs;
    options.Threads = threads;
    options.PrintJob = parser.isSet(printJobOption);
    options.LogLevel = logLevel;
    options.Json = parser.isSet(jsonOption);
    std::vector<std::string> arguments;
    for (const QString& file : parser.positionalArguments())
        arguments.push_back(file.toStdString());
    if (arguments.empty())
        return UsageError("no input files");
    std::string inputError;
    if (!cli::ExpandInputs(arguments, std::cin, options.Files, inputError))
        return UsageError(QString::fromStdString(inputError));
    return cli::RunCatalogue(options);
}
