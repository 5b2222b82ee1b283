// Writes the help page: the template with its table of output formats filled in from the
// catalogue itself (each entry selected as a user would, its engine step run), so the help
// can never drift from what the program does.
//   corvina-make-help TEMPLATE OUTPUT
#include "app/core/Workflow.h"
#include "hosting/TranscodeOptions.h"
#include "profiles/Catalogue.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

using namespace corvina;

std::string Html(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

std::string FormatTable() {
    profiles::MainWindowBoxes boxes;
    app::InitialiseBoxes(boxes);
    std::ostringstream table;
    table << "<table>\n<tr><th>Output format</th><th>File</th><th>Video</th>"
             "<th>Audio</th></tr>\n";
    for (int i = 0; i < boxes.ComboOutputFormat.Count(); i++) {
        const std::string name = boxes.ComboOutputFormat.Items()[i];
        const profiles::OutputProfile* entry = profiles::FindProfile(name);
        if (!entry)
            continue; // a separator line
        boxes.ComboOutputFormat.Select(i);
        profiles::SelectOutputFormat(boxes);
        hosting::TOutputOptions job;
        hosting::InitOutputOptions(job);
        profiles::ApplyProfileOptions(boxes, 0, job);
        std::string video = "none (sound only)";
        if (!job.DisableVideo && !entry->WindowAudioOnly)
            video = boxes.ComboVideoCodec.Text() + ", " + boxes.ComboVideoSize.Text() + ", " +
                    boxes.ComboVideoBitrate.Text();
        else if (!job.DisableVideo)
            video = "the container's own (the video choices are off)";
        const std::string audio = boxes.ComboAudioCodec.Text() + ", " +
                                  boxes.ComboAudioBitrate.Text() + ", " +
                                  boxes.ComboSamplingRate.Text();
        std::string extension(entry->Extension);
        for (char& c : extension)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        table << "<tr><td>" << Html(name) << "</td><td>." << Html(extension) << "</td><td>"
              << Html(video) << "</td><td>" << Html(audio) << "</td></tr>\n";
    }
    table << "</table>";
    return table.str();
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvina-make-help TEMPLATE OUTPUT\n");
        return 2;
    }
    std::ifstream in(argv[1]);
    std::stringstream text;
    text << in.rdbuf();
    std::string page = text.str();
    const std::string marker = "@FORMAT_TABLE@";
    const size_t at = page.find(marker);
    if (!in || at == std::string::npos) {
        std::fprintf(stderr, "corvina-make-help: %s has no %s\n", argv[1], marker.c_str());
        return 1;
    }
    page.replace(at, marker.size(), FormatTable());
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << page;
    out.close();
    return out ? 0 : 1;
}
