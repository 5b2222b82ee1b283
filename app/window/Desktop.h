// The desktop's programs as the window reaches them: the browser for the web site and the
// help, the mail program for the support address. The addresses are defined here, once.
#pragma once

#include <QString>
#include <QUrl>

namespace corvina::window {

inline constexpr const char* kWebsiteUrl = "https://corvina.harlowe.example/";
inline constexpr const char* kSupportMail = "mailto:support@harlowe.example?subject=Corvina";

class IDesktop {
public:
    virtual ~IDesktop() = default;
    // Nothing is reported when no program can open it.
    virtual void OpenUrl(const QUrl& url) = 0;
};

class QtDesktop : public IDesktop {
public:
    void OpenUrl(const QUrl& url) override;
};

// The help beside the program (the build tree), else where an installation puts it
// (<prefix>/share/corvina/help beside <prefix>/bin). The first when neither exists.
QString HelpFilePath(const QString& programFolder);

} // namespace corvina::window
