// corvina-convert: the headless front end.
#include "hosting/binding/Binding.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace {

constexpr int kExitUsage = 2;

int PrintVersion() {
    using namespace corvina::binding;
    std::printf("corvina-convert %s\n", CORVINA_VERSION);
    if (!LoadAll(ProgramFolder() + "Common", true)) {
        std::fprintf(stderr, "%s\n", LoaderErrorText().c_str());
        return 1;
    }
    for (LibraryId id : kBindingOrder)
        std::printf("%s %s\n", LibraryDisplayName(id), GetLibrary(id).RuntimeVersion().c_str());
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("corvina-convert");
    QCoreApplication::setApplicationVersion(CORVINA_VERSION);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        "Converts media files with Corvina's engine, without a window.");
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption versionOption(
        {"V", "version"},
        "Prints the program's version and the versions of the libraries it bound.");
    parser.addOption(versionOption);

    if (!parser.parse(app.arguments())) {
        std::fprintf(stderr, "%s\n", qPrintable(parser.errorText()));
        return kExitUsage;
    }
    if (parser.isSet(helpOption)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(versionOption))
        return PrintVersion();
    std::fputs(qPrintable(parser.helpText()), stderr);
    return kExitUsage;
}
