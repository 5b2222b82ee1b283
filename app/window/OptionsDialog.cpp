#include "app/window/OptionsDialog.h"

#include "app/window/FontRule.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

namespace corvina::window {

namespace {

constexpr int kWidth = 390;
constexpr int kHeight = 351;

// A spin box that lets a typed number outside its range stand as typed; its buttons and
// the settings still keep to the range.
class FreeSpinBox : public QSpinBox {
public:
    using QSpinBox::QSpinBox;
    // The text as typed or as the buttons set it, before the range is applied.
    QLineEdit* Editor() const { return lineEdit(); }
    QValidator::State validate(QString& text, int&) const override {
        if (text.isEmpty() || text == "-")
            return QValidator::Intermediate;
        bool ok = false;
        text.toInt(&ok);
        return ok ? QValidator::Acceptable : QValidator::Invalid;
    }
};

QComboBox* EditableBox(const char* name, QStringList items, QWidget* parent) {
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->addItems(items);
    box->setCurrentIndex(0);
    return box;
}

QLabel* Label(const char* name, const char* text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setBuddy(buddy);
    buddy->setAccessibleName(QString(text).trimmed());
    return label;
}

} // namespace

int TypedItemIndex(const QComboBox* box, const QString& text) {
    for (int i = 0; i < box->count(); i++)
        if (box->itemText(i) == text)
            return i;
    return -1;
}

OptionsDialog::OptionsDialog(app::ConversionWorkflow& workflow, app::ISettingsStore& store,
                             QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint),
      workflow_(workflow) {
    setObjectName("Form4");
    setWindowTitle("Additional Options");
    setFont(QFont("Tahoma", 8));
    setFixedSize(kWidth, kHeight);
    setModal(false);

    auto* column = new QVBoxLayout(this);
    auto* group1 = new QGroupBox(" Additional Options ", this);
    group1->setObjectName("GroupBox1");
    auto* grid1 = new QGridLayout(group1);
    CheckBoxOverWrite = new QCheckBox("Overwrite Existing File With The Same Name", group1);
    CheckBoxOverWrite->setObjectName("CheckBoxOverWrite");
    CheckBoxOverWrite->setAccessibleName(CheckBoxOverWrite->text());
    auto* spin = new FreeSpinBox(group1);
    SpinEdit1 = spin;
    SpinEdit1->setObjectName("SpinEdit1");
    SpinEdit1->setRange(app::kMinDropDownItems, app::kMaxDropDownItems);
    SpinEdit1->setValue(app::kMinDropDownItems);
    grid1->addWidget(CheckBoxOverWrite, 0, 0, 1, 2);
    grid1->addWidget(Label("Label1", "Drop Down Items in Output Format List", SpinEdit1, group1), 1,
                     0);
    grid1->addWidget(SpinEdit1, 1, 1);

    auto* group2 = new QGroupBox(" General Video Settings ", this);
    group2->setObjectName("GroupBox2");
    auto* grid2 = new QGridLayout(group2);
    ComboLetterBox = EditableBox("ComboLetterBox", {"None", "LetterBox"}, group2);
    ComboAspectRatio = EditableBox("ComboAspectRatio",
                                   {"Original", "4:3 (Standard", "16:9 (Wide Screen)"}, group2);
    grid2->addWidget(Label("Label2", "Video Zoom : ", ComboLetterBox, group2), 0, 0);
    grid2->addWidget(ComboLetterBox, 0, 1);
    grid2->addWidget(Label("Label3", "Video Aspect Ratio : ", ComboAspectRatio, group2), 1, 0);
    grid2->addWidget(ComboAspectRatio, 1, 1);

    Button1 = new QPushButton("Done", this);
    Button1->setObjectName("Button1");
    Button1->setAccessibleName("Done");
    column->addWidget(group1);
    column->addWidget(group2);
    column->addStretch();
    column->addWidget(Button1, 0, Qt::AlignRight);

    // FormCreate, in its order.
    ApplyModernFont(this);
    try {
        app::LoadSettings(store, workflow_);
    } catch (...) {
        // Loading never stops the program.
    }
    {
        const QSignalBlocker blockSpin(SpinEdit1);
        const QSignalBlocker blockBox(CheckBoxOverWrite);
        SpinEdit1->setValue(workflow_.DropDownItems);
        CheckBoxOverWrite->setChecked(workflow_.OverwriteExisting);
        const QSignalBlocker blockZoom(ComboLetterBox);
        const QSignalBlocker blockAspect(ComboAspectRatio);
        ComboLetterBox->setCurrentIndex(workflow_.Boxes().ComboLetterBox.ItemIndex());
        ComboAspectRatio->setCurrentIndex(workflow_.Boxes().ComboAspectRatio.ItemIndex());
    }

    connect(CheckBoxOverWrite, &QCheckBox::toggled, this,
            [this](bool on) { workflow_.SetOverwrite(on); });
    // The box's text is what counts: typed (kept as typed, also outside the range) or set by
    // the buttons (the text follows the value before the value is announced).
    QLineEdit* editor = spin->Editor();
    connect(editor, &QLineEdit::textEdited, this, &OptionsDialog::SpinEdit1Change);
    connect(SpinEdit1, &QSpinBox::valueChanged, this,
            [this, editor] { SpinEdit1Change(editor->text()); });
    connect(ComboLetterBox, &QComboBox::editTextChanged, this,
            &OptionsDialog::ComboLetterBoxChange);
    connect(ComboAspectRatio, &QComboBox::editTextChanged, this,
            &OptionsDialog::ComboAspectRatioChange);
    connect(Button1, &QPushButton::clicked, this, &QDialog::hide);
}

void OptionsDialog::ShowOptions() {
    if (QWidget* main = parentWidget())
        move(main->geometry().center() - rect().center());
    show();
    raise();
}

void OptionsDialog::ComboLetterBoxChange() {
    app::ConversionWorkflow& flow = workflow_;
    flow.SelectItem(flow.MutableBoxes().ComboLetterBox,
                    TypedItemIndex(ComboLetterBox, ComboLetterBox->currentText()));
}

void OptionsDialog::ComboAspectRatioChange() {
    app::ConversionWorkflow& flow = workflow_;
    flow.SelectItem(flow.MutableBoxes().ComboAspectRatio,
                    TypedItemIndex(ComboAspectRatio, ComboAspectRatio->currentText()));
}

void OptionsDialog::SpinEdit1Change(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    workflow_.SetDropDownItems(ok ? value : app::kMinDropDownItems);
}

} // namespace corvina::window
