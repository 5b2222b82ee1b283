#include "preview/PreviewPane.h"

#include "preview/PlaybackGraph.h"

#include <QApplication>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QSlider>
#include <QSoundEffect>
#include <QStackedLayout>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QVideoWidget>

// The pictures and the sound live in this library; a static library must name them.
static void InitPreviewResources() {
    Q_INIT_RESOURCE(preview);
}

namespace corvina::preview {

namespace {

constexpr int kHintDurationMs = 30000;
constexpr int kSnapWaitMs = 1500; // the sound is short; a silent machine must not hold us
constexpr int kMenuOffset = 40;

QToolButton* PaneButton(QWidget* parent, const char* name, const char* hint, const char* icon) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setToolTip(hint);
    button->setToolTipDuration(kHintDurationMs);
    button->setAccessibleName(hint);
    button->setIcon(QIcon(QString(":/preview/") + icon));
    button->setAutoRaise(true);
    return button;
}

} // namespace

PreviewPane::PreviewPane(app::ConversionWorkflow& workflow, app::IDialogs& dialogs, QWidget* parent,
                         std::unique_ptr<IMediaPlayer> player)
    : QFrame(parent) {
    InitPreviewResources();
    setObjectName("PanelPreview");
    setFrameShape(QFrame::StyledPanel);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(2);

    // The picture holder lies behind the video window.
    auto* screen = new QWidget(this);
    auto* stack = new QStackedLayout(screen);
    stack->setStackingMode(QStackedLayout::StackAll);
    VideoWindow1 = new QVideoWidget(screen);
    VideoWindow1->setObjectName("VideoWindow1");
    VideoWindow1->setAccessibleName("Preview");
    VideoWindow1->setAutoFillBackground(true);
    QPalette black = VideoWindow1->palette();
    black.setColor(QPalette::Window, Qt::black);
    VideoWindow1->setPalette(black);
    Image1 = new QLabel(screen);
    Image1->setObjectName("Image1");
    stack->addWidget(VideoWindow1);
    stack->addWidget(Image1);
    stack->setCurrentWidget(VideoWindow1);
    column->addWidget(screen, 1);

    DSTrackBar1 = new QSlider(Qt::Horizontal, this);
    DSTrackBar1->setObjectName("DSTrackBar1");
    DSTrackBar1->setAccessibleName("Position");
    DSTrackBar1->setTickPosition(QSlider::NoTicks);
    column->addWidget(DSTrackBar1);

    auto* buttons = new QHBoxLayout;
    QToolButton* play = PaneButton(this, "ButtonPlay", "Play", "play.svg");
    QToolButton* pause = PaneButton(this, "ButtonPause", "Pause", "pause.svg");
    QToolButton* stop = PaneButton(this, "ButtonStop", "Stop", "stop.svg");
    QToolButton* snapshot = PaneButton(this, "ButtonSnapshot", "Snapshot", "snapshot.svg");
    ButtonVolume = PaneButton(this, "ButtonVolume", "Volume", "spkfull");
    for (QToolButton* b : {play, pause, stop, snapshot, ButtonVolume})
        buttons->addWidget(b);
    buttons->addStretch();
    column->addLayout(buttons);

    PopupMenuSpeaker = new QMenu(this);
    PopupMenuSpeaker->setObjectName("PopupMenuSpeaker");
    const char* const names[] = {"Mute1", "HalfVolume1", "FullVolume1"};
    for (int i = 0; i < 3; i++) {
        QAction* item = PopupMenuSpeaker->addAction(kVolumeLevels[i].item);
        item->setObjectName(names[i]);
        connect(item, &QAction::triggered, this, [this, i] { controller_->SelectVolume(i); });
    }

    player_ = player ? std::move(player) : std::make_unique<QtMediaPlayer>(VideoWindow1);
    controller_ = std::make_unique<PreviewController>(workflow, dialogs, *player_);
    controller_->ShowError = [this](const QString& text) {
        QMessageBox::critical(window(), QApplication::applicationDisplayName(), text);
    };
    controller_->PlaySnapSound = [this] { PlaySnap(); };
    controller_->OnChanged = [this] { Refresh(); };

    connect(play, &QToolButton::clicked, this, [this] { controller_->Play(); });
    connect(pause, &QToolButton::clicked, this, [this] { controller_->Pause(); });
    connect(stop, &QToolButton::clicked, this, [this] { controller_->Stop(); });
    connect(snapshot, &QToolButton::clicked, this, [this] { controller_->Snapshot(); });
    connect(ButtonVolume, &QToolButton::clicked, this, &PreviewPane::ShowVolumeMenu);
    connect(DSTrackBar1, &QSlider::sliderPressed, this, [this] { controller_->SeekBarPressed(); });
    connect(DSTrackBar1, &QSlider::sliderReleased, this,
            [this] { controller_->SeekBarReleased(DSTrackBar1->value()); });
    Refresh();
}

PreviewPane::~PreviewPane() {
    controller_.reset(); // before the player it drives
}

void PreviewPane::Refresh() {
    const SeekBar& bar = controller_->Bar();
    if (!bar.Pressed) {
        DSTrackBar1->setRange(bar.Minimum, bar.Maximum);
        DSTrackBar1->setValue(bar.Position);
    }
    ButtonVolume->setIcon(QIcon(QString(":/preview/") + controller_->VolumePicture()));
}

void PreviewPane::ShowVolumeMenu() {
    const QPoint corner = ButtonVolume->mapToGlobal(QPoint(0, 0));
    PopupMenuSpeaker->popup(corner - QPoint(kMenuOffset, kMenuOffset));
}

void PreviewPane::PlaySnap() {
    QSoundEffect sound;
    sound.setSource(QUrl("qrc:/preview/Snap"));
    QEventLoop wait;
    QTimer limit;
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, &wait, &QEventLoop::quit);
    connect(&sound, &QSoundEffect::playingChanged, &wait, [&] {
        if (!sound.isPlaying())
            wait.quit();
    });
    connect(&sound, &QSoundEffect::statusChanged, &wait, [&] {
        if (sound.status() == QSoundEffect::Error)
            wait.quit(); // no sound device: nothing to wait for
        else if (sound.status() == QSoundEffect::Ready)
            sound.play();
    });
    limit.start(kSnapWaitMs);
    if (sound.status() == QSoundEffect::Ready)
        sound.play();
    wait.exec();
}

} // namespace corvina::preview
