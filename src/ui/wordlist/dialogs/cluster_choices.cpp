#include "ui/wordlist/dialogs/cluster_choices.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStringDecoder>
#include <QVBoxLayout>

#include "runtime/controller_link.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/resource_strings.h"
#include "ui/framework/control_helpers.h"
#include "ui/framework/tool_pages.h"

namespace cv {
namespace {

constexpr int kHelpClusterChoices = 2910;
constexpr int kHelpJoinClusters = 5270;
constexpr int kStopListKind = 2;

QSpinBox* SpinBox(QWidget* parent, const char* name, int low, int high, int value, int step = 1)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(low, high);
    spin->setSingleStep(step);
    spin->setValue(value);
    return spin;
}


} // namespace

bool ReadWordsFile(const QString& fileName, QStringList& words)
{
    words.clear();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    const auto encoding = QStringConverter::encodingForData(bytes);
    QStringDecoder decode(encoding.value_or(QStringConverter::Utf8));
    const QString text = decode(bytes);
    for (QStringView line : QStringView(text).split(u'\n')) {
        const QString word = line.trimmed().toString();
        if (!word.isEmpty())
            words << word;
    }
    return true;
}

void CheckWordChoice(uint8_t selection, std::initializer_list<QRadioButton*> buttons)
{
    if (buttons.size() == 0)
        return;
    QRadioButton* button = selection < buttons.size() ? *(buttons.begin() + selection) : *buttons.begin();
    button->setChecked(true);
}

void FillStopAtCombo(QComboBox* combo)
{
    combo->clear();
    combo->addItems(StopAtEntries());
}

// ---------------------------------------------------------------------------

TFormClusterChoices::TFormClusterChoices(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormClusterChoices"), kHelpClusterChoices, true)
{
    setWindowTitle(QStringLiteral("Cluster choices"));
    ElComboBoxIndexStopAt = new QComboBox(this);
    ElComboBoxIndexStopAt->setObjectName(QStringLiteral("ElComboBoxIndexStopAt"));
    ElComboBoxIndexStopAt->setToolTip(QStringLiteral("collocate blocker"));
    CheckBoxOmitNumbers = new QCheckBox(QStringLiteral("omit any containing #"), this);
    ElSpinEditClusterSizeMin = SpinBox(this, "ElSpinEditClusterSizeMin", 2, 12, 3);
    ElSpinEditClusterSizeMax = SpinBox(this, "ElSpinEditClusterSizeMax", 2, 12, 3);
    AdvSpinEditMinTexts = SpinBox(this, "AdvSpinEditMinTexts", 1, 200, 1);
    ElFloatSpinEditMaxPercent = new QDoubleSpinBox(this);
    ElFloatSpinEditMaxPercent->setObjectName(QStringLiteral("ElFloatSpinEditMaxPercent"));
    ElFloatSpinEditMaxPercent->setDecimals(2);
    ElFloatSpinEditMaxPercent->setRange(0.0, 100.0);
    ElFloatSpinEditMaxPercent->setToolTip(QStringLiteral("eg. work on words >= 1.5%"));
    ElSpinEditMaxSeconds = SpinBox(this, "ElSpinEditMaxSeconds", 0, 100000, 0, 10);
    ElSpinEditMaxSeconds->setToolTip(QStringLiteral("0=unlimited"));
    AdvOfficeCheckBoxOmitPhraseFrames = new QCheckBox(QStringLiteral("omit phrase frames"), this);
    AdvOfficeCheckBoxOmitDispersion = new QCheckBox(QStringLiteral("omit dispersion"), this);
    ElSpinEditMinShowFreq = SpinBox(this, "ElSpinEditMinShowFreq", 1, 200, 3);
    ElCheckBoxBatch = new QCheckBox(QStringLiteral("batch processing"), this);

    auto* words = new QGroupBox(QStringLiteral("Words to make clusters from"), this);
    RadioAll = new QRadioButton(QStringLiteral("all"), words);
    RadioHighlighted = new QRadioButton(QStringLiteral("selection"), words);
    AdvOfficeRadioButtonTextFile = new QRadioButton(QStringLiteral("text-file"), words);
    RadioAll->setChecked(true);
    ElFileNameEditPlainTextFile = new TFileNameEdit(TFileNameEdit::TMode::OneFile, words);
    ElFileNameEditPlainTextFile->setObjectName(QStringLiteral("ElFileNameEditPlainTextFile"));
    ElFileNameEditPlainTextFile->DefaultExt = QStringLiteral("txt");
    ElFileNameEditPlainTextFile->Filter = QStringLiteral("Text files (*.txt);;All files (*)");
    auto* wordsLayout = new QVBoxLayout(words);
    wordsLayout->addWidget(RadioAll);
    wordsLayout->addWidget(RadioHighlighted);
    wordsLayout->addWidget(AdvOfficeRadioButtonTextFile);
    wordsLayout->addWidget(ElFileNameEditPlainTextFile);

    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonHelp = new QPushButton(QStringLiteral("Help"), this);

    auto* sizes = new QHBoxLayout;
    sizes->addWidget(ElSpinEditClusterSizeMin);
    sizes->addWidget(ElSpinEditClusterSizeMax);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("cluster size"), sizes);
    form->addRow(QStringLiteral("min. frequency"), ElSpinEditMinShowFreq);
    form->addRow(QStringLiteral("min. texts"), AdvSpinEditMinTexts);
    form->addRow(QStringLiteral("max. frequency %"), ElFloatSpinEditMaxPercent);
    form->addRow(QStringLiteral("max. seconds per word"), ElSpinEditMaxSeconds);
    form->addRow(QStringLiteral("stop at"), ElComboBoxIndexStopAt);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    for (QWidget* box : {static_cast<QWidget*>(CheckBoxOmitNumbers), static_cast<QWidget*>(AdvOfficeCheckBoxOmitPhraseFrames),
                         static_cast<QWidget*>(AdvOfficeCheckBoxOmitDispersion), static_cast<QWidget*>(ElCheckBoxBatch),
                         static_cast<QWidget*>(words)})
        layout->addWidget(box);
    layout->addLayout(OkHelpButtonRow(ButtonOK, ButtonHelp));
    connect(ButtonOK, &QPushButton::clicked, this, &TFormClusterChoices::ButtonOKClick);
    connect(ButtonHelp, &QPushButton::clicked, this, &TFormClusterChoices::ButtonHelpClick);

    FillStopAtCombo(ElComboBoxIndexStopAt);
}

void TFormClusterChoices::RecordToControls(const TWordlist_index_settings_rec& rec)
{
    SafeSetItemIndex(ElComboBoxIndexStopAt, rec.StopAt());
    CheckBoxOmitNumbers->setChecked(rec.OmitNumbers());
    ElSpinEditClusterSizeMin->setValue(rec.ClusterSizeMin());
    ElSpinEditClusterSizeMax->setValue(rec.ClusterSizeMax());
    AdvSpinEditMinTexts->setValue(rec.ClusterMinTexts());
    ElFloatSpinEditMaxPercent->setValue(rec.ClusterMaxPercent());
    ElSpinEditMaxSeconds->setValue(rec.MaxSecondsPerWord());
    AdvOfficeCheckBoxOmitPhraseFrames->setChecked(rec.OmitPhraseFrames());
    AdvOfficeCheckBoxOmitDispersion->setChecked(!rec.ComputeDispersion());
    ElSpinEditMinShowFreq->setValue(rec.MinShowFrequency());
    ElCheckBoxBatch->setChecked(rec.BatchProcessing());
}

void TFormClusterChoices::ControlsToRecord(TWordlist_index_settings_rec& rec) const
{
    rec.SetBatchProcessing(ElCheckBoxBatch->isChecked());
    rec.SetOmitNumbers(CheckBoxOmitNumbers->isChecked());
    rec.SetClusterSizeMin(ElSpinEditClusterSizeMin->value());
    // A largest size below the smallest is raised to it.
    rec.SetClusterSizeMax(std::max(ElSpinEditClusterSizeMax->value(), ElSpinEditClusterSizeMin->value()));
    rec.SetClusterMinTexts(AdvSpinEditMinTexts->value());
    rec.SetClusterMaxPercent(float(ElFloatSpinEditMaxPercent->value()));
    rec.SetMaxSecondsPerWord(ElSpinEditMaxSeconds->value());
    rec.SetOmitPhraseFrames(AdvOfficeCheckBoxOmitPhraseFrames->isChecked());
    rec.SetComputeDispersion(!AdvOfficeCheckBoxOmitDispersion->isChecked());
    rec.SetMinShowFrequency(ElSpinEditMinShowFreq->value());
    rec.SetStopListLoadedCopy(Global_stopLemmaMatchLoaded[kStopListKind]);
    rec.SetStopAt(uint8_t(std::max(0, ElComboBoxIndexStopAt->currentIndex())));
}

void TFormClusterChoices::FormShow()
{
    FillStopAtCombo(ElComboBoxIndexStopAt);
    RecordToControls(GetWordlistIndexSettings());
    if (caller_has_selection)
        process_selection = kIndexProcessSelected;
    CheckWordChoice(process_selection, {RadioAll, RadioHighlighted, AdvOfficeRadioButtonTextFile});
}

void TFormClusterChoices::ButtonOKClick()
{
    TWordlist_index_settings_rec rec = GetWordlistIndexSettings();
    if (AdvOfficeRadioButtonTextFile->isChecked()) {
        words_to_process.clear();
        const QString name = ElFileNameEditPlainTextFile->Text().trimmed();
        if (name.isEmpty() || !QFileInfo(name).isFile()) {
            FormNotFilled(CVTextFile);
            return;
        }
        if (!ReadWordsFile(name, words_to_process)) {
            FailedToRead(name);
            return;
        }
        if (words_to_process.isEmpty()) {
            NoWordsIn(name, kHelpClusterChoices);
            return;
        }
    }
    process_selection = RadioHighlighted->isChecked()              ? kIndexProcessSelected
                        : AdvOfficeRadioButtonTextFile->isChecked() ? kIndexProcessTextFile
                                                                    : kIndexProcessAll;
    ControlsToRecord(rec);
    SetWordlistIndexSettings(rec);
    SetModalResult(kModalOK);
}

// ---------------------------------------------------------------------------

TFormJoinClusters::TFormJoinClusters(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormJoinClusters"), kHelpJoinClusters)
{
    setWindowTitle(QStringLiteral("Join Clusters"));
    ElRadioButton1 = new QRadioButton(QStringLiteral("join smaller ones to largest"), this);
    ElRadioButton2 = new QRadioButton(QStringLiteral("join larger ones to smallest"), this);
    ElRadioButton1->setChecked(true);
    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonHelp = new QPushButton(QStringLiteral("Help"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ElRadioButton1);
    layout->addWidget(ElRadioButton2);
    layout->addLayout(OkHelpButtonRow(ButtonOK, ButtonHelp));
    connect(ButtonOK, &QPushButton::clicked, this, [this] { SetModalResult(kModalOK); });
    connect(ButtonHelp, &QPushButton::clicked, this, &TFormJoinClusters::ButtonHelpClick);
}

bool TFormJoinClusters::JoinSmallerToLargest() const { return ElRadioButton1->isChecked(); }

} // namespace cv
