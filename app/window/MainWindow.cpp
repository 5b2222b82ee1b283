#include "app/window/MainWindow.h"

#include "app/core/TimeEstimate.h"
#include "app/window/AboutBox.h"
#include "app/window/Desktop.h"
#include "app/window/FontRule.h"
#include "app/window/OptionsDialog.h"
#include "app/window/QtDialogs.h"
#include "hosting/TranscodeEngine.h"
#include "preview/PreviewPane.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <thread>

// The pictures live in this library; a static library must name them to keep them.
static void InitWindowResources() {
    Q_INIT_RESOURCE(window);
}

namespace corvina::window {

namespace {

constexpr int kClientWidth = 753;
constexpr int kClientHeight = 533;
constexpr int kToolbarHeight = 40;
constexpr int kOutputRowHeight = 54;
constexpr int kFileListHeight = 201;
constexpr int kStatusBarHeight = 20;
constexpr int kHintDurationMs = 30000;
constexpr int kStatusPanelWidths[3] = {150, 300, 50};

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

// A label and the box it names: the label is the box's buddy, so a screen reader finds the
// box by the label's text.
QLabel* LabelFor(const char* text, QWidget* box, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(box);
    box->setAccessibleName(QString(text).trimmed());
    return label;
}

QComboBox* PickList(const char* name, QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->setEditable(false);
    combo->setToolTipDuration(kHintDurationMs);
    combo->view()->setMinimumWidth(170); // the open list shows whole items
    return combo;
}

} // namespace

MainWindow::MainWindow(std::unique_ptr<app::IDialogs> dialogs,
                       std::unique_ptr<preview::IMediaPlayer> player)
    : engine_(&scheduler_), dialogs_(std::move(dialogs)) {
    InitWindowResources();
    if (!dialogs_)
        dialogs_ = std::make_unique<QtDialogs>(this);
    workflow_ = std::make_unique<app::ConversionWorkflow>(engine_, boxes_, *dialogs_, scheduler_);
    workflow_->ProbeInBackground = true;
    // Every core for the codecs: the window converts one file at a time.
    engine_.SetThreadCount(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));

    setObjectName("Form1");
    setFont(QFont("Tahoma", 8)); // the font the window's sizes were made for
    setWindowTitle("Corvina");
    setWindowIcon(QIcon(":/icons/corvina.svg"));
    setAcceptDrops(true);

    auto* client = new QWidget(this);
    client->setObjectName("ClientArea");
    client->setFixedSize(kClientWidth, kClientHeight - kStatusBarHeight);
    auto* column = new QVBoxLayout(client);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    BuildToolbar(client);
    BuildOutputRow(client);
    ListView1 = new FileListView(*workflow_, client);
    ListView1->setFixedHeight(kFileListHeight);
    column->addWidget(ListView1);
    Memo1 = new QPlainTextEdit(client);
    Memo1->setObjectName("Memo1");
    Memo1->hide(); // only the wrapper script's text buffer
    BuildLowerPane(client, std::move(player));
    setCentralWidget(client);

    BuildMenus();
    BuildListMenu();
    BuildStatusBar();
    BindBoxes();

    // Keyboard: the list's Delete removes, Shift+F5 stops (the menu has Add Files, Convert).
    auto* remove = new QShortcut(QKeySequence::Delete, ListView1);
    remove->setContext(Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, ButtonRemove, &QToolButton::click);
    auto* stop = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F5), this);
    connect(stop, &QShortcut::activated, ButtonStopConvert, &QToolButton::click);

    setFixedSize(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
    workflow_->AddObserver(this);
}

MainWindow::~MainWindow() {
    workflow_->RemoveObserver(this);
}

bool MainWindow::Create() {
    ApplyModernFont(this);
    if (!workflow_->LoadLibraries())
        return false;
    workflow_->Initialise();
    return true;
}

void MainWindow::Attach(AboutBox* about, OptionsDialog* options, IDesktop* desktop) {
    about_ = about;
    options_ = options;
    desktop_ = desktop;
}

// ------------------------------------------------------------------ building

QToolButton* MainWindow::ToolbarButton(QWidget* parent, const char* name, const char* caption,
                                       const char* icon) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(caption);
    button->setAccessibleName(caption);
    button->setIcon(QIcon(QString(":/icons/") + icon));
    button->setIconSize(QSize(24, 24));
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setAutoRaise(true);
    QFont bold = button->font();
    bold.setBold(true);
    button->setFont(bold);
    return button;
}

void MainWindow::BuildToolbar(QWidget* parent) {
    auto* bar = new QWidget(parent);
    bar->setObjectName("PanelToolbar");
    bar->setFixedHeight(kToolbarHeight);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(6, 2, 6, 2);
    ButtonAddFile = ToolbarButton(bar, "ButtonAddFile", "Add File", "add.svg");
    ButtonRemove = ToolbarButton(bar, "ButtonRemove", "Remove File", "remove.svg");
    ButtonClear = ToolbarButton(bar, "ButtonClear", "Clear All ", "clear.svg");
    ButtonStopConvert = ToolbarButton(bar, "ButtonStopConvert", "Stop", "stop.svg");
    ButtonConvert = ToolbarButton(bar, "ButtonConvert", "Start", "start.svg");
    for (QToolButton* b :
         {ButtonAddFile, ButtonRemove, ButtonClear, ButtonStopConvert, ButtonConvert})
        row->addWidget(b);
    row->addStretch();
    parent->layout()->addWidget(bar);

    connect(ButtonAddFile, &QToolButton::clicked, this,
            [this] { workflow_->ButtonAddFileClick(); });
    connect(ButtonRemove, &QToolButton::clicked, this, [this] { workflow_->RemoveSelected(); });
    connect(ButtonClear, &QToolButton::clicked, this, [this] { workflow_->ClearAll(); });
    connect(ButtonStopConvert, &QToolButton::clicked, this, [this] { workflow_->Stop(); });
    connect(ButtonConvert, &QToolButton::clicked, this, [this] { workflow_->Start(); });
}

void MainWindow::BuildOutputRow(QWidget* parent) {
    auto* panel = new QWidget(parent);
    panel->setObjectName("PanelOutput");
    panel->setFixedHeight(kOutputRowHeight);
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(8, 0, 8, 0);

    EditOutputFolder = new QLineEdit(panel);
    EditOutputFolder->setObjectName("EditOutputFolder");
    EditOutputFolder->setReadOnly(true);
    EditOutputFolder->setEnabled(false); // only the folder dialog fills it
    QLabel* label1 = LabelFor("Output Folder :", EditOutputFolder, panel);
    label1->setObjectName("Label1");
    ButtonBrowseForFolder = new QToolButton(panel);
    ButtonBrowseForFolder->setObjectName("ButtonBrowseForFolder");
    ButtonBrowseForFolder->setIcon(QIcon(":/icons/folder.svg"));
    ButtonBrowseForFolder->setToolTip("Choose the output folder");
    ButtonBrowseForFolder->setToolTipDuration(kHintDurationMs);
    ButtonBrowseForFolder->setAccessibleName("Choose the output folder");
    connect(ButtonBrowseForFolder, &QToolButton::clicked, this,
            [this] { workflow_->BrowseForFolder(); });

    ComboOutputFormat = new DropDownComboBox(panel);
    ComboOutputFormat->setObjectName("ComboOutputFormat");
    ComboOutputFormat->aboutToDropDown = [this] { workflow_->DropDownOutputFormat(); };
    ComboOutputFormat->setMinimumWidth(250);
    QLabel* label2 = LabelFor("Set Output Format :", ComboOutputFormat, panel);
    label2->setObjectName("Label2");

    row->addWidget(label1);
    row->addWidget(EditOutputFolder, 1);
    row->addWidget(ButtonBrowseForFolder);
    row->addSpacing(12);
    row->addWidget(label2);
    row->addWidget(ComboOutputFormat);
    parent->layout()->addWidget(panel);
}

void MainWindow::BuildLowerPane(QWidget* parent, std::unique_ptr<preview::IMediaPlayer> player) {
    auto* pane = new QWidget(parent);
    pane->setObjectName("PanelLower");
    auto* row = new QHBoxLayout(pane);
    row->setContentsMargins(8, 6, 8, 6);
    auto* left = new QVBoxLayout;
    auto* groups = new QHBoxLayout;

    auto* video = new QGroupBox(" Video Settings ", pane);
    video->setObjectName("GroupVideo");
    auto* videoForm = new QFormLayout(video);
    videoForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    ComboVideoQuality = PickList("ComboVideoQuality", video);
    ComboVideoSize = PickList("ComboVideoSize", video);
    ComboVideoFramerate = PickList("ComboVideoFramerate", video);
    videoForm->addRow(LabelFor("Video Quality : ", ComboVideoQuality, video), ComboVideoQuality);
    videoForm->addRow(LabelFor("Video Size : ", ComboVideoSize, video), ComboVideoSize);
    videoForm->addRow(LabelFor("Video Framerate : ", ComboVideoFramerate, video),
                      ComboVideoFramerate);

    auto* audio = new QGroupBox(" Audio Settings ", pane);
    audio->setObjectName("GroupAudio");
    auto* audioForm = new QFormLayout(audio);
    audioForm->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
    ComboAudioQuality = PickList("ComboAudioQuality", audio);
    ComboAudioChannels = PickList("ComboAudioChannels", audio);
    TrackBar1 = new QSlider(Qt::Horizontal, audio);
    TrackBar1->setObjectName("TrackBar1");
    TrackBar1->setRange(0, 10);
    TrackBar1->setPageStep(1);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setToolTip("100% is the original video volume");
    TrackBar1->setToolTipDuration(kHintDurationMs);
    LabelVolume = new QLabel(audio);
    LabelVolume->setObjectName("LabelVolume");
    LabelVolume->setMinimumWidth(36);
    auto* volumeRow = new QHBoxLayout;
    volumeRow->addWidget(TrackBar1, 1);
    volumeRow->addWidget(LabelVolume);
    audioForm->addRow(LabelFor("Audio Quality :", ComboAudioQuality, audio), ComboAudioQuality);
    audioForm->addRow(LabelFor("Audio Channels :", ComboAudioChannels, audio), ComboAudioChannels);
    audioForm->addRow(LabelFor("Volume : ", TrackBar1, audio), volumeRow);
    connect(TrackBar1, &QSlider::valueChanged, this,
            [this](int position) { workflow_->SetVolumePosition(position); });

    // The quality boxes show the bitrate they stand for when the pointer enters them.
    ComboVideoQuality->installEventFilter(this);
    ComboAudioQuality->installEventFilter(this);

    groups->addWidget(video, 1);
    groups->addWidget(audio, 1);
    left->addLayout(groups);

    auto* progressRow = new QHBoxLayout;
    ProgressBar1 = new QProgressBar(pane);
    ProgressBar1->setObjectName("ProgressBar1");
    ProgressBar1->setAccessibleName("Progress");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setToolTipDuration(kHintDurationMs);
    ButtonStopSmall = new QToolButton(pane);
    ButtonStopSmall->setObjectName("ButtonStopSmall");
    ButtonStopSmall->setText("Stop");
    ButtonStopSmall->setAccessibleName("Stop");
    connect(ButtonStopSmall, &QToolButton::clicked, ButtonStopConvert, &QToolButton::click);
    progressRow->addWidget(ProgressBar1, 1);
    progressRow->addWidget(ButtonStopSmall);
    left->addLayout(progressRow);

    row->addLayout(left, 1);
    row->addWidget(BuildPreviewPane(pane, std::move(player)));
    parent->layout()->addWidget(pane);
}

QWidget* MainWindow::BuildPreviewPane(QWidget* parent,
                                      std::unique_ptr<preview::IMediaPlayer> player) {
    Preview1 = new preview::PreviewPane(*workflow_, *dialogs_, parent, std::move(player));
    Preview1->setFixedWidth(196);
    return Preview1;
}

void MainWindow::BuildMenus() {
    QMenu* file = menuBar()->addMenu("File");
    file->setObjectName("File1");
    QAction* add = file->addAction("Add Files");
    add->setObjectName("AddFiles1");
    add->setShortcut(QKeySequence::Open);
    connect(add, &QAction::triggered, ButtonAddFile, &QToolButton::click);
    QAction* convert = file->addAction("Convert");
    convert->setObjectName("Convert1");
    convert->setShortcut(QKeySequence(Qt::Key_F5));
    connect(convert, &QAction::triggered, ButtonConvert, &QToolButton::click);
    QAction* exit = file->addAction("Exit");
    exit->setObjectName("Exit1");
    // Exit ends the program at once: no close query, nothing saved.
    connect(exit, &QAction::triggered, qApp, &QCoreApplication::quit, Qt::QueuedConnection);

    QMenu* options = menuBar()->addMenu("Options");
    options->setObjectName("Options1");
    QAction* setOptions = options->addAction("Set Options");
    setOptions->setObjectName("SetGeneralOptions1");
    connect(setOptions, &QAction::triggered, this, [this] {
        if (options_)
            options_->ShowOptions();
    });

    QMenu* help = menuBar()->addMenu("Help");
    help->setObjectName("Help1");
    QAction* openHelp = help->addAction("Open Help File");
    openHelp->setObjectName("OpenHelpFile1");
    openHelp->setShortcut(QKeySequence::HelpContents);
    connect(openHelp, &QAction::triggered, this, [this] {
        // Nothing is checked beforehand: a missing file is the browser's business.
        if (desktop_)
            desktop_->OpenUrl(QUrl::fromLocalFile(
                HelpFilePath(QString::fromStdString(workflow_->ProgramFolder))));
    });
    QAction* website = help->addAction("Visit Harlowe Website");
    website->setObjectName("VisitOurWebsite1");
    connect(website, &QAction::triggered, this, [this] {
        if (desktop_)
            desktop_->OpenUrl(QUrl(kWebsiteUrl));
    });
    QAction* about = help->addAction("About");
    about->setObjectName("About1");
    connect(about, &QAction::triggered, this, [this] {
        if (about_)
            about_->ShowModal();
    });
    mainMenus_ = {file, options, help};
}

void MainWindow::BuildListMenu() {
    PopupListView1 = new QMenu(this);
    PopupListView1->setObjectName("PopupListView1");
    connect(PopupListView1->addAction("Check All Items"), &QAction::triggered, this,
            [this] { workflow_->CheckAll(true); });
    connect(PopupListView1->addAction("Uncheck All Items"), &QAction::triggered, this,
            [this] { workflow_->CheckAll(false); });
    PopupListView1->addSeparator();
    connect(PopupListView1->addAction("Remove Selected Item"), &QAction::triggered, this,
            [this] { workflow_->RemoveSelected(); });
    connect(PopupListView1->addAction("Clear All Items"), &QAction::triggered, this,
            [this] { workflow_->ClearAll(); });
    PopupListView1->addSeparator();
    QAction* play = PopupListView1->addAction("Play Selected File");
    play->setObjectName("PlaySelectedFile1");
    connect(play, &QAction::triggered, this, [this] { Preview1->Controller().Play(); });
    PopupListView1->addSeparator();
    SplitSelectedFile = PopupListView1->addAction("Split Selected File");
    SplitSelectedFile->setVisible(false);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(ListView1, &QWidget::customContextMenuRequested, this, &MainWindow::ShowListMenu);
}

void MainWindow::ShowListMenu(const QPoint& pos) {
    if (!boxes_.FileListPopupAuto)
        return; // a running batch keeps the list's menu shut
    PopupListView1->popup(ListView1->viewport()->mapToGlobal(pos));
}

void MainWindow::BuildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName("StatusBar1");
    bar->setAccessibleName("Status");
    bar->setFixedHeight(kStatusBarHeight);
    bar->setSizeGripEnabled(false);
    for (int i = 0; i < 3; i++) {
        StatusPanels[i] = new QLabel(bar);
        StatusPanels[i]->setObjectName(QString("StatusPanel%1").arg(i));
        StatusPanels[i]->setFixedWidth(kStatusPanelWidths[i]);
        StatusPanels[i]->setFrameShape(QFrame::StyledPanel);
        bar->addWidget(StatusPanels[i]);
    }
    StatusPanels[0]->setText("Ready");
}

void MainWindow::BindBoxes() {
    auto bind = [this](QComboBox* combo, profiles::ChoiceBox& model, auto picked) {
        bindings_.push_back(std::make_unique<ChoiceBoxBinding>(combo, model, picked));
    };
    auto select = [this](profiles::ChoiceBox& box) {
        return [this, &box](int index) { workflow_->SelectItem(box, index); };
    };
    bind(ComboOutputFormat, boxes_.ComboOutputFormat,
         [this](int index) { workflow_->SelectOutputFormat(index); });
    bind(ComboVideoQuality, boxes_.ComboVideoQuality,
         [this](int index) { workflow_->SelectVideoQuality(index); });
    bind(ComboAudioQuality, boxes_.ComboAudioQuality,
         [this](int index) { workflow_->SelectAudioQuality(index); });
    bind(ComboVideoSize, boxes_.ComboVideoSize, select(boxes_.ComboVideoSize));
    bind(ComboVideoFramerate, boxes_.ComboVideoFramerate, select(boxes_.ComboVideoFramerate));
    bind(ComboAudioChannels, boxes_.ComboAudioChannels, select(boxes_.ComboAudioChannels));
    // The store of the current profile settings: never seen, bound like the others.
    const std::pair<const char*, profiles::ChoiceBox*> hidden[] = {
        {"ComboLetterBox", &boxes_.ComboLetterBox},
        {"ComboAspectRatio", &boxes_.ComboAspectRatio},
        {"ComboVideoCodec", &boxes_.ComboVideoCodec},
        {"ComboAudioCodec", &boxes_.ComboAudioCodec},
        {"ComboSamplingRate", &boxes_.ComboSamplingRate},
        {"ComboVideoBitrate", &boxes_.ComboVideoBitrate},
        {"ComboAudioBitrate", &boxes_.ComboAudioBitrate}};
    for (const auto& [name, model] : hidden) {
        QComboBox* combo = PickList(name, centralWidget());
        combo->setAccessibleName(name);
        combo->hide();
        bind(combo, *model, select(*model));
    }
    BoxesChanged();
    StatusChanged();
}

// ------------------------------------------------------------------ events

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shown_) {
        shown_ = true;
        workflow_->WindowShown();
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!workflow_->CloseQuery()) {
        event->ignore(); // refused while converting, without a word
        return;
    }
    workflow_->Close();
    Preview1->Controller().Close();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    if (paths.empty())
        return;
    event->acceptProposedAction();
    workflow_->AddDroppedPaths(paths);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Enter) {
        if (watched == ComboVideoQuality)
            workflow_->VideoQualityMouseEnter();
        else if (watched == ComboAudioQuality)
            workflow_->AudioQualityMouseEnter();
    }
    return QMainWindow::eventFilter(watched, event);
}

// ------------------------------------------------------------------ the core's notifications

void MainWindow::RowsInserted(int first, int count) {
    ListView1->InsertRows(first, count);
}

void MainWindow::RowChanged(int row) {
    ListView1->UpdateRow(row);
}

void MainWindow::RowRemoved(int row) {
    ListView1->RemoveRow(row);
}

void MainWindow::RowsReset() {
    ListView1->ResetRows();
}

void MainWindow::SelectionChanged(int row) {
    ListView1->SelectRow(row);
}

void MainWindow::BatchStarted() {
    batchClock_.start();
}

void MainWindow::JobStarted(int) {
    fileClock_.start();
}

void MainWindow::ProgressChanged(int row) {
    if (QTreeWidgetItem* item = ListView1->topLevelItem(row))
        ListView1->scrollToItem(item);
    UpdateEstimates(row);
}

void MainWindow::UpdateEstimates(int row) {
    const app::TimeEstimate estimate =
        app::EstimateTimes(workflow_->Rows, row, fileClock_.isValid() ? fileClock_.elapsed() : 0,
                           batchClock_.isValid() ? batchClock_.elapsed() : 0);
    const QString text = Q(app::EstimateText(estimate));
    ListView1->SetProgressToolTip(row, text);
    ProgressBar1->setToolTip(text);
}

void MainWindow::BoxesChanged() {
    for (const auto& binding : bindings_)
        binding->Refresh();
    ButtonAddFile->setEnabled(boxes_.ButtonAddFile.enabled);
    ButtonClear->setEnabled(boxes_.ButtonClear.enabled);
    ButtonRemove->setEnabled(boxes_.ButtonRemove.enabled);
    ButtonConvert->setEnabled(boxes_.ButtonConvert.enabled);
    TrackBar1->setEnabled(boxes_.TrackBar1.enabled);
    for (QMenu* menu : mainMenus_)
        menu->menuAction()->setEnabled(boxes_.MainMenuEnabled);
}

void MainWindow::StatusChanged() {
    const app::ConversionWorkflow& flow = *workflow_;
    EditOutputFolder->setText(Q(flow.OutputFolder));
    StatusPanels[1]->setText(Q(flow.StatusPanel1));
    // The bar's range holds larger values at its end.
    ProgressBar1->setValue(std::clamp(flow.ProgressBar, 0, 100));
    if (flow.ProgressBar == 0)
        ProgressBar1->setToolTip(QString());
    LabelVolume->setText(Q(flow.LabelVolume));
    const QSignalBlocker block(TrackBar1);
    TrackBar1->setValue(flow.VolumePosition);
}

} // namespace corvina::window
