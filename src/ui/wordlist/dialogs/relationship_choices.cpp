#include "ui/wordlist/dialogs/relationship_choices.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cfloat>
#include <climits>

#include "gui/desktop_services.h"
#include "runtime/controller_link.h"
#include "suite/cv_format.h"
#include "suite/cvbuf.h"
#include "suite/dialog_routines.h"
#include "suite/lemmatiser.h"
#include "suite/my_types.h"
#include "suite/resource_strings.h"
#include "suite/window_messages.h"
#include "ui/framework/control_helpers.h"
#include "ui/framework/tool_pages.h"
#include "ui/wordlist/dialogs/cluster_choices.h"
#include "ui/wordlist/dialogs/list_message_dialogue.h"

namespace cv {
namespace {

constexpr int kHelpRelationships = 2830;
constexpr int kStopListKind = 2;
constexpr int kRelationListKind = 3;
constexpr float kLowestThreshold = -999.999f;
constexpr float kLowestDice = -0.1f;

constexpr const char* kThresholdCaptions[TWordlist_index_settings_rec::kThresholdCount] = {
    "Dice", "Mutual info", "MI3", "Z score", "Log likelihood", "T score", "Log Ratio",
    "CProbA", "CProbB", "DeltaPA", "DeltaPB"};

QSpinBox* SpinBox(QWidget* parent, const char* name, int low, int high, int value)
{
    auto* spin = new QSpinBox(parent);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(low, high);
    spin->setValue(value);
    return spin;
}

// The first character of the edit, upper-cased, or the fallback when it is empty.
QChar RangeChar(const QLineEdit* edit, QChar fallback)
{
    const QString text = edit->text();
    return text.isEmpty() ? fallback : text.left(1).toUpper().at(0);
}

} // namespace

TFormMIChoices::TFormMIChoices(QWidget* parent)
    : TCVDialog(parent, QStringLiteral("FormMIChoices"), kHelpRelationships, true)
{
    setWindowTitle(QStringLiteral("Relationship choices"));
    PageControl1 = new QTabWidget(this);

    // --- words to process ---
    auto* wordsPage = new QWidget(PageControl1);
    ElRadioButtonAllWords = new QRadioButton(QStringLiteral("all words"), wordsPage);
    ElRadioButtonAllWords->setToolTip(QStringLiteral("all the words in the list"));
    ElRadioButtonAllWords->setChecked(true);
    ElRadioButtonSelectedWords = new QRadioButton(wordsPage);
    ElRadioButtonSpecificCharacters = new QRadioButton(QStringLiteral("all words starting with specific character(s)"), wordsPage);
    ElEditStartChar = new QLineEdit(QStringLiteral("A"), wordsPage);
    ElEditEndChar = new QLineEdit(QStringLiteral("B"), wordsPage);
    ElRadioButtonPLainTextFile = new QRadioButton(QStringLiteral("specific words from plain text file:"), wordsPage);
    auto* fileGroup = new QGroupBox(QStringLiteral("text file"), wordsPage);
    ElFileNameEditPlainTextFile = new TFileNameEdit(TFileNameEdit::TMode::OneFile, fileGroup);
    ElFileNameEditPlainTextFile->setObjectName(QStringLiteral("ElFileNameEditPlainTextFile"));
    ElFileNameEditPlainTextFile->DefaultExt = QStringLiteral("txt");
    ElFileNameEditPlainTextFile->Filter = QStringLiteral("Text files (*.txt);;All files (*)");
    LabelN = new QLabel(fileGroup);
    ElPopupButtonTextFileLoad = new QPushButton(CVLoadCaption.toString(), fileGroup);
    ElPopupButtonTextFileLoad->setToolTip(QStringLiteral("press to Load or Clear"));
    ElPopupButtonEdit = new QPushButton(QStringLiteral("Edit"), fileGroup);
    ElRadioGroupRelation = new TRadioGroup(QStringLiteral("relate to"),
                                           {QStringLiteral("only words in list"), QStringLiteral("ignore words in list")}, fileGroup);
    ElRadioGroupRelation->SetItemIndex(0);
    auto* fileLayout = new QGridLayout(fileGroup);
    fileLayout->addWidget(ElFileNameEditPlainTextFile, 0, 0, 1, 3);
    fileLayout->addWidget(ElPopupButtonTextFileLoad, 1, 0);
    fileLayout->addWidget(ElPopupButtonEdit, 1, 1);
    fileLayout->addWidget(LabelN, 1, 2);
    fileLayout->addWidget(ElRadioGroupRelation, 2, 0, 1, 3);
    auto* range = new QFormLayout;
    range->addRow(QStringLiteral("from"), ElEditStartChar);
    range->addRow(QStringLiteral("to"), ElEditEndChar);
    auto* wordsLayout = new QVBoxLayout(wordsPage);
    wordsLayout->addWidget(ElRadioButtonAllWords);
    wordsLayout->addWidget(ElRadioButtonSelectedWords);
    wordsLayout->addWidget(ElRadioButtonSpecificCharacters);
    wordsLayout->addLayout(range);
    wordsLayout->addWidget(ElRadioButtonPLainTextFile);
    wordsLayout->addWidget(fileGroup);
    PageControl1->addTab(wordsPage, QStringLiteral("Words to process"));

    // --- omissions ---
    auto* omitPage = new QWidget(PageControl1);
    ComboBoxIndexStopAt = new QComboBox(omitPage);
    ComboBoxIndexStopAt->setObjectName(QStringLiteral("ComboBoxIndexStopAt"));
    ComboBoxIndexStopAt->setToolTip(QStringLiteral("collocate blocker"));
    CheckBoxMergeLR = new QCheckBox(QStringLiteral("omit if word1 = word2"), omitPage);
    CheckBoxMergeLR->setToolTip(QStringLiteral("e.g YES YES"));
    CheckBoxMergeLR->setChecked(true);
    CheckBoxOmitNumbers = new QCheckBox(QStringLiteral("omit any containing #"), omitPage);
    CheckBoxOmitNumbers->setChecked(true);
    ElCheckBoxShowPairsTwice = new QCheckBox(QStringLiteral("show pairs both ways "), omitPage);
    ElCheckBoxRecomputeTokens = new QCheckBox(QStringLiteral("recompute token count"), omitPage);
    ElCheckBoxToRightOnly = new QCheckBox(QStringLiteral("to right only"), omitPage);
    ElRadioGroupStopLists = new TRadioGroup(QStringLiteral("stoplist"),
                                            {QStringLiteral("ignore stoplist"), QStringLiteral("stoplist filters word 1"),
                                             QStringLiteral("stoplist filters word 2"), QStringLiteral("stoplist filters both")},
                                            omitPage);
    ElRadioGroupStopLists->SetItemIndex(0);
    auto* omitForm = new QFormLayout;
    omitForm->addRow(QStringLiteral("stop at"), ComboBoxIndexStopAt);
    auto* omitLayout = new QVBoxLayout(omitPage);
    omitLayout->addLayout(omitForm);
    for (QWidget* w : std::initializer_list<QWidget*>{CheckBoxMergeLR, CheckBoxOmitNumbers, ElCheckBoxShowPairsTwice,
                                                       ElCheckBoxRecomputeTokens, ElCheckBoxToRightOnly, ElRadioGroupStopLists})
        omitLayout->addWidget(w);
    PageControl1->addTab(omitPage, QStringLiteral("Omissions"));

    // --- minimum and maximum ---
    auto* limitsPage = new QWidget(PageControl1);
    AdvSpinEditSpan = SpinBox(limitsPage, "AdvSpinEditSpan", 1, 8, 1);
    AdvSpinEditMinJointFreq = SpinBox(limitsPage, "AdvSpinEditMinJointFreq", 1, INT_MAX, 1);
    AdvSpinEditMaxPercent = new TCVSpinEdit(limitsPage);
    AdvSpinEditMaxPercent->setObjectName(QStringLiteral("AdvSpinEditMaxPercent"));
    AdvSpinEditMaxPercent->SetFloatMode(true);
    AdvSpinEditMaxPercent->setDecimals(3);
    AdvSpinEditMaxPercent->setRange(0.0, 100.0);
    AdvSpinEditMaxPercent->setToolTip(QStringLiteral("eg. work on words >= 1.5%"));
    AdvSpinEditMinTexts = SpinBox(limitsPage, "AdvSpinEditMinTexts", 1, 10000, 1);
    AdvSpinEditMinWord2Freq = SpinBox(limitsPage, "AdvSpinEditMinWord2Freq", 1, INT_MAX, 1);
    auto* thresholds = new QGroupBox(QStringLiteral("minimum thresholds"), limitsPage);
    GroupBoxThresholds = thresholds;
    auto* thresholdForm = new QFormLayout(thresholds);
    for (int i = 0; i < TWordlist_index_settings_rec::kThresholdCount; ++i) {
        auto* box = new TCVSpinEdit(thresholds);
        box->setObjectName(QStringLiteral("Threshold%1").arg(i));
        box->SetFloatMode(true);
        box->setDecimals(3);
        box->setRange(i == TWordlist_index_settings_rec::kDice ? kLowestDice : kLowestThreshold,
                      i == TWordlist_index_settings_rec::kDice ? 1.0 : double(FLT_MAX));
        box->SetIncrementFloat(0.1f);
        box->SetIncrementFloatPage(1.0f);
        box->setMaximumWidth(140);
        ThresholdEdits[std::size_t(i)] = box;
        thresholdForm->addRow(QString::fromLatin1(kThresholdCaptions[i]), box);
    }
    AdvGlowButtonSetToMin = new QPushButton(CVSetAllToMinimum.toString(), thresholds);
    thresholdForm->addRow(AdvGlowButtonSetToMin);
    AdvOfficeRadioGroupMinRequirements = new TRadioGroup(
        QString(), {QStringLiteral("require ALL of the above"), QStringLiteral("OK if ANY of the above")}, limitsPage);
    AdvOfficeRadioGroupMinRequirements->SetItemIndex(0);
    auto* limitsForm = new QFormLayout;
    limitsForm->addRow(QStringLiteral("span"), AdvSpinEditSpan);
    limitsForm->addRow(QStringLiteral("min. joint frequency"), AdvSpinEditMinJointFreq);
    limitsForm->addRow(QStringLiteral("min. word 2 frequency"), AdvSpinEditMinWord2Freq);
    limitsForm->addRow(QStringLiteral("min. texts"), AdvSpinEditMinTexts);
    limitsForm->addRow(QStringLiteral("max. frequency percent"), AdvSpinEditMaxPercent);
    auto* limitsLayout = new QVBoxLayout(limitsPage);
    limitsLayout->addLayout(limitsForm);
    limitsLayout->addWidget(thresholds);
    limitsLayout->addWidget(AdvOfficeRadioGroupMinRequirements);
    PageControl1->addTab(limitsPage, QStringLiteral("Min. and  Max."));

    ButtonOK = new QPushButton(QStringLiteral("OK"), this);
    ButtonHelp = new QPushButton(QStringLiteral("Help"), this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControl1, 1);
    layout->addLayout(OkHelpButtonRow(ButtonOK, ButtonHelp));

    connect(ButtonOK, &QPushButton::clicked, this, &TFormMIChoices::ButtonOKClick);
    connect(ButtonHelp, &QPushButton::clicked, this, &TFormMIChoices::ButtonHelpClick);
    connect(AdvGlowButtonSetToMin, &QPushButton::clicked, this, &TFormMIChoices::AdvGlowButtonSetToMinClick);
    connect(ElPopupButtonTextFileLoad, &QPushButton::clicked, this, &TFormMIChoices::ElPopupButtonTextFileLoadClick);
    connect(ElPopupButtonEdit, &QPushButton::clicked, this, &TFormMIChoices::ElPopupButtonEditClick);
    // Choosing a range or a file means the words of that kind.
    ElEditStartChar->installEventFilter(this);
    ElEditEndChar->installEventFilter(this);
    connect(ElFileNameEditPlainTextFile, &TFileNameEdit::clicked, this, [this] { ElRadioButtonPLainTextFile->setChecked(true); });
    connect(ElRadioGroupRelation, &TRadioGroup::itemClicked, this, [this] { ElRadioButtonPLainTextFile->setChecked(true); });

    FillStopAtCombo(ComboBoxIndexStopAt);
}

TFormMIChoices::~TFormMIChoices() = default;

bool TFormMIChoices::eventFilter(QObject* watched, QEvent* event)
{
    if ((watched == ElEditStartChar || watched == ElEditEndChar) &&
        (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::FocusIn))
        ElRadioButtonSpecificCharacters->setChecked(true);
    return TCVDialog::eventFilter(watched, event);
}

void TFormMIChoices::RecordToControls(const TWordlist_index_settings_rec& rec)
{
    const uint8_t stopMode = rec.StopListMode();
    ElRadioGroupStopLists->SetItemIndex(stopMode <= 3 ? stopMode : 0);
    if (rec.AnyThresholdSuffices())
        AdvOfficeRadioGroupMinRequirements->SetItemIndex(1);
    SafeSetItemIndex(ComboBoxIndexStopAt, rec.StopAt());
    CheckBoxMergeLR->setChecked(rec.OmitEqualWords());
    CheckBoxOmitNumbers->setChecked(rec.OmitNumbers());
    ElCheckBoxShowPairsTwice->setChecked(rec.ShowPairsBothWays());
    ElCheckBoxRecomputeTokens->setChecked(rec.RecomputeTokens());
    ElCheckBoxToRightOnly->setChecked(rec.ToRightOnly());
    AdvSpinEditSpan->setValue(rec.RelationSpan());
    AdvSpinEditMinJointFreq->setValue(rec.MinJointFrequency());
    AdvSpinEditMaxPercent->setValue(rec.RelationMaxPercent());
    AdvSpinEditMinTexts->setValue(rec.RelationMinTexts());
    AdvSpinEditMinWord2Freq->setValue(rec.MinWord2Frequency());
    for (int i = 0; i < TWordlist_index_settings_rec::kThresholdCount; ++i)
        ThresholdEdits[std::size_t(i)]->setValue(rec.Threshold(i));
}

void TFormMIChoices::FormShow()
{
    FillStopAtCombo(ComboBoxIndexStopAt);
    PageControl1->setCurrentIndex(0);
    ElRadioButtonSelectedWords->setText(selected_word.isEmpty() ? Format(CVSelectedX, {CVWords})
                                                                : Format("%s (%s)", {CVSelected, selected_word}));
    const TWordlist_index_settings_rec rec = GetWordlistIndexSettings();
    if (caller_has_selection)
        process_selection = kIndexProcessSelected;
    CheckWordChoice(process_selection, {ElRadioButtonAllWords, ElRadioButtonSelectedWords, ElRadioButtonPLainTextFile,
                                              ElRadioButtonSpecificCharacters});
    ElRadioGroupRelation->SetItemIndex(GetRelationMatchWanted(ftool_which_called) != 0 ? 1 : 0);
    AdvGlowButtonSetToMin->setText(CVSetAllToMinimum.toString());
    RecordToControls(rec);
}

void TFormMIChoices::ButtonOKClick()
{
    TWordlist_index_settings_rec rec = GetWordlistIndexSettings();
    if (ElRadioButtonSpecificCharacters->isChecked()) {
        process_selection = kIndexProcessCharacterRange;
        RelationStartChar = RangeChar(ElEditStartChar, u'A');
        RelationEndChar = RangeChar(ElEditEndChar, u'B');
    } else if (ElRadioButtonPLainTextFile->isChecked()) {
        process_selection = kIndexProcessTextFile;
        const QString name = ElFileNameEditPlainTextFile->Text().trimmed();
        if (name.isEmpty() || !QFileInfo(name).isFile()) {
            FailedToFind(name);
            return;
        }
    } else {
        process_selection = ElRadioButtonSelectedWords->isChecked() ? kIndexProcessSelected : kIndexProcessAll;
    }

    rec.SetRelationMinTexts(AdvSpinEditMinTexts->value());
    const int stopMode = std::max(0, ElRadioGroupStopLists->ItemIndex());
    rec.SetStopListMode(uint8_t(stopMode));
    if (stopMode != 0 && ftool_which_called != kToolController && !Global_stopLemmaMatchLoaded[kStopListKind]) {
        NoStopList();
        return;
    }
    rec.SetAnyThresholdSuffices(AdvOfficeRadioGroupMinRequirements->ItemIndex() == 1);
    rec.SetToRightOnly(ElCheckBoxToRightOnly->isChecked());
    rec.SetOmitNumbers(CheckBoxOmitNumbers->isChecked());
    rec.SetOmitEqualWords(CheckBoxMergeLR->isChecked());
    rec.SetShowPairsBothWays(ElCheckBoxShowPairsTwice->isChecked());
    rec.SetRecomputeTokens(ElCheckBoxRecomputeTokens->isChecked());
    const uint8_t stopAt = uint8_t(std::max(0, ComboBoxIndexStopAt->currentIndex()));
    rec.SetStopAt(stopAt);
    rec.SetRelationSpan(AdvSpinEditSpan->value());
    rec.SetMinWord2Frequency(AdvSpinEditMinWord2Freq->value());
    rec.SetMinJointFrequency(AdvSpinEditMinJointFreq->value());
    rec.SetRelationMaxPercent(float(AdvSpinEditMaxPercent->value()));
    for (int i = 0; i < TWordlist_index_settings_rec::kThresholdCount; ++i) {
        const TCVSpinEdit* box = ThresholdEdits[std::size_t(i)];
        bool ok = false;
        const QString text = box->cleanText().trimmed();
        double value = box->locale().toDouble(text, &ok);
        if (!ok)
            value = text.toDouble(&ok);
        if (ok)
            rec.SetThreshold(i, float(value));
        else
            InvalidNumber(box->text());
    }
    SetConcSaveRecCollocatesStopAt(stopAt);
    SetWordlistIndexSettings(rec);
    // The computation loads the relation words from the file the settings
    // name: the file chosen here, also when it was not loaded with "Load".
    if (process_selection == kIndexProcessTextFile) {
        SetLemmaMatchStopFilename(ftool_which_called, kRelationListKind, ElFileNameEditPlainTextFile->Text().trimmed());
        SetRelationMatchWanted(ftool_which_called, uint8_t(std::max(0, ElRadioGroupRelation->ItemIndex())));
    }
    SetModalResult(kModalOK);
}

void TFormMIChoices::AdvGlowButtonSetToMinClick()
{
    if (AdvGlowButtonSetToMin->text() == CVSetAllToMinimum.toString()) {
        AdvGlowButtonSetToMin->setText(CVRestore.toString());
        for (TCVSpinEdit* box : ThresholdEdits)
            box->setValue(box->minimum());
        return;
    }
    const TWordlist_index_settings_rec rec = GetWordlistIndexSettings();
    AdvGlowButtonSetToMin->setText(CVSetAllToMinimum.toString());
    for (int i = 0; i < TWordlist_index_settings_rec::kThresholdCount; ++i)
        ThresholdEdits[std::size_t(i)]->setValue(rec.Threshold(i));
}

void TFormMIChoices::ElPopupButtonTextFileLoadClick()
{
    ElRadioButtonPLainTextFile->setChecked(true);
    if (ElPopupButtonTextFileLoad->text().contains(CVClearCaption.toString())) {
        ElPopupButtonTextFileLoad->setText(CVLoadCaption.toString());
        ClearOne(ftool_which_called, TLemmatiserListKind::RelationWords);
        Global_stopLemmaMatchLoaded[kRelationListKind] = false;
        LabelN->clear();
        return;
    }
    const QString name = ElFileNameEditPlainTextFile->Text().trimmed();
    if (name.isEmpty() || !QFileInfo(name).isFile()) {
        FailedToFind(name);
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const TListSettingsRec settings = GetListSettingsByListType(kRelationListKind, ftool_which_called);
    const uint32_t language = GetTextSettings().LanguageId();
    const uint16_t loaded = LoadedOne(
        ftool_which_called, TLemmatiserListKind::RelationWords, name, settings,
        [this](int lines, const QString&) {
            MyYieldProcess();
            fLemmasMatchStopNInFile = lines;
            LabelN->setText(QString::number(lines));
        },
        [](int) { MyYieldProcess(); }, language);
    QApplication::restoreOverrideCursor();
    if (loaded == 0) {
        // Nothing was loaded, so there is nothing to clear: the button stays "Load".
        FailedToRead(name);
        return;
    }
    Global_stopLemmaMatchLoaded[kRelationListKind] = true;
    if (!m_listMessage)
        m_listMessage = std::make_unique<TWMessageDialogue>(this);
    const int shown = ShowLemmaListInMessage(*m_listMessage, ftool_which_called, TLemmatiserListKind::RelationWords);
    SetLemmaMatchStopFilename(ftool_which_called, kRelationListKind, name);
    SetRelationMatchWanted(ftool_which_called, uint8_t(std::max(0, ElRadioGroupRelation->ItemIndex())));
    ElPopupButtonTextFileLoad->setText(QStringLiteral("(%1) ").arg(shown) + CVClear);
}

void TFormMIChoices::ElPopupButtonEditClick()
{
    ElRadioButtonPLainTextFile->setChecked(true);
    const QString name = ElFileNameEditPlainTextFile->Text().trimmed();
    if (!name.isEmpty())
        TryToShow(name);
}

} // namespace cv
