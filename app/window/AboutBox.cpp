#include "app/window/AboutBox.h"

#include "app/window/FontRule.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QToolButton>
#include <QVBoxLayout>

namespace corvina::window {

namespace {

constexpr int kWidth = 359;
constexpr int kHeight = 244;

// A label that reads as a link: blue, underlined, a hand over it. LinkClicks opens `url`.
QLabel* LinkLabel(const char* name, const char* text, const QUrl& url, QObject* clicks,
                  QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setAccessibleName(text);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Qt::blue);
    label->setPalette(palette);
    QFont font = label->font();
    font.setUnderline(true);
    label->setFont(font);
    label->setCursor(Qt::PointingHandCursor);
    label->setProperty("corvinaUrl", url);
    label->installEventFilter(clicks);
    return label;
}

// Opens a link label's address when it is clicked.
class LinkClicks : public QObject {
public:
    explicit LinkClicks(IDesktop& desktop, QObject* parent) : QObject(parent), desktop_(desktop) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease) {
            const QVariant url = watched->property("corvinaUrl");
            if (url.isValid()) {
                desktop_.OpenUrl(url.toUrl());
                return true;
            }
        }
        return false;
    }

private:
    IDesktop& desktop_;
};

} // namespace

AboutBox::AboutBox(IDesktop& desktop, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      desktop_(desktop) {
    setObjectName("FormAbout");
    setWindowTitle("About");
    setFont(QFont("MS Sans Serif", 8));
    setFixedSize(kWidth, kHeight);

    auto* image = new QLabel(this);
    image->setObjectName("Image1");
    image->setPixmap(QIcon(":/icons/corvina.svg").pixmap(32, 32));
    auto* name = new QLabel("Corvina", this);
    name->setObjectName("Label1");
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* version = new QLabel("Version 2.0", this);
    version->setObjectName("Label5");

    auto* clicks = new LinkClicks(desktop_, this);
    auto* website = LinkLabel("Label2", "Visit Harlowe Website", QUrl(kWebsiteUrl), clicks, this);
    auto* support =
        LinkLabel("Label3", "Contact Support Department", QUrl(kSupportMail), clicks, this);

    auto* line = new QFrame(this);
    line->setObjectName("PanelDemar");
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* ok = new QToolButton(this);
    ok->setObjectName("SpeedButton1");
    ok->setText("OK");
    ok->setAccessibleName("OK");
    ok->setFont(bold);
    ok->setMinimumWidth(75);
    connect(ok, &QToolButton::clicked, this, &QDialog::accept);

    auto* column = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    head->addWidget(image, 0, Qt::AlignTop);
    auto* texts = new QVBoxLayout;
    texts->addWidget(name);
    texts->addWidget(version);
    head->addLayout(texts, 1);
    column->addLayout(head);
    column->addStretch();
    column->addWidget(line);
    column->addWidget(website);
    column->addWidget(support);
    column->addStretch();
    column->addWidget(ok, 0, Qt::AlignRight);

    ApplyModernFont(this);
}

void AboutBox::ShowModal() {
    if (QWidget* main = parentWidget())
        move(main->geometry().center() - rect().center());
    exec();
}

} // namespace corvina::window
