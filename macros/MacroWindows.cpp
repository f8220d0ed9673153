#include "macros/MacroWindows.h"

#include "common/DitaPaths.h"
#include "common/Latin1.h"
#include "common/TextFiles.h"
#include "log/AdifLog.h"

#include <gaugekit/GkClock.h>

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <stdexcept>

namespace dita::macros {

QPushButton* createMessageButton(int n, QWidget* parent) {
    auto* b = new QPushButton(QString::fromStdString(messageButtonCaption(n)), parent);
    b->setObjectName(QString::fromStdString(messageButtonName(n)));
    b->setToolTip(QStringLiteral("Send Macro M%1").arg(n));
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

void markMessageButtons(const MessageButtonArray& buttons, int n) {
    for (int i = 1; i <= kMacroCount; ++i) {
        if (!buttons[i]) continue;
        QFont f = buttons[i]->font();
        f.setBold(i == n);
        f.setUnderline(i == n);
        buttons[i]->setFont(f);
    }
}

namespace {

constexpr int kListingWidth = 520;
constexpr int kListingHeight = 330;
constexpr int kKeysWidth = 420;
constexpr int kKeysHeight = 300;
constexpr int kEditorWidth = 640;
constexpr int kEditorHeight = 420;
constexpr int kLegendColumns = 2;
// GkClock1 as the form sizes it, with its 13-pixel lime text.
constexpr int kClockWidth = 113;
constexpr int kClockHeight = 35;
constexpr int kClockFontPixels = 13;
constexpr int kInfoFieldWidth = 190;

inline constexpr const char* kMacroTooLongText =
    "A macro can hold at most 4095 characters; the text was not saved and M%1 keeps its old text";

QString fromLatin1(const std::string& s) {
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

// ---------------------------------------------------------------- listing

TTransmitMemoryForm::TTransmitMemoryForm(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("TransmitMemoryForm");
    setWindowTitle("Tranmit Memory (Macros)");
    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName("Memo1");
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* l = new QVBoxLayout(this);
    l->setContentsMargins(0, 0, 0, 0);
    l->addWidget(Memo1);
    resize(kListingWidth, kListingHeight);
}

void TTransmitMemoryForm::refresh(const MacroSources& sources) {
    Memo1->setPlainText(fromLatin1(buildMacroListing(sources)));
}

void TTransmitMemoryForm::showMacros(const MacroSources& sources) {
    show();
    refresh(sources);
}

// ---------------------------------------------------------------- key list

TShowMacroKeysForm::TShowMacroKeysForm(MessageSink messages, PathSource keyFile, QWidget* parent)
    : QWidget(parent, Qt::Window), m_messages(std::move(messages)), m_keyFile(std::move(keyFile)) {
    setObjectName("ShowMacroKeysForm");
    setWindowTitle("Macro Keys");
    MacroKeyMemo = new QPlainTextEdit(this);
    MacroKeyMemo->setObjectName("MacroKeyMemo");
    SaveMacroBtn = new QPushButton("SAVE", this);
    SaveMacroBtn->setObjectName("SaveMacroBtn");
    RetrieveMacroBtn = new QPushButton("Retrieve", this);
    RetrieveMacroBtn->setObjectName("RetrieveMacroBtn");
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(SaveMacroBtn);
    buttons->addWidget(RetrieveMacroBtn);
    auto* l = new QVBoxLayout(this);
    l->addWidget(MacroKeyMemo);
    l->addLayout(buttons);
    resize(kKeysWidth, kKeysHeight);
    connect(SaveMacroBtn, &QPushButton::clicked, this, &TShowMacroKeysForm::SaveMacroBtnClick);
    connect(RetrieveMacroBtn, &QPushButton::clicked, this,
            &TShowMacroKeysForm::RetrieveMacroBtnClick);
}

std::filesystem::path TShowMacroKeysForm::defaultKeyFile() {
    return ditaFile(kMacroKeyFileName);
}

bool TShowMacroKeysForm::SaveMacroBtnClick() {
    std::string error;
    try {
        const auto lines = splitLines(MacroKeyMemo->toPlainText().toStdString());
        if (saveTextLines(m_keyFile(), lines, LineEnd::CrLf, error)) return true;
    } catch (const std::exception& e) {
        error = e.what();
    }
    m_messages(error, kFileErrorCaption);
    return false;
}

bool TShowMacroKeysForm::RetrieveMacroBtnClick() {
    return load(false);
}

void TShowMacroKeysForm::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    load(true);
}

bool TShowMacroKeysForm::load(bool quietWhenMissing) {
    std::filesystem::path path;
    std::string error;
    try {
        path = m_keyFile();
    } catch (const std::exception& e) {
        m_messages(e.what(), kFileErrorCaption);
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
        if (!quietWhenMissing)
            m_messages("There is no macro key file yet (" + path.string() +
                           "); write the key notes here and press SAVE",
                       kFileMessageCaption);
        return false;
    }
    std::vector<std::string> lines;
    if (!loadTextLines(path, lines, error)) {
        m_messages(error, kFileErrorCaption);
        return false;
    }
    MacroKeyMemo->setPlainText(QString::fromStdString(joinLines(lines)));
    return true;
}

// ---------------------------------------------------------------- editor

TXmitMacrosForm::TXmitMacrosForm(MacroSources& sources, MessageSink messages,
                                 TTransmitMemoryForm* listing, TShowMacroKeysForm* keys,
                                 QWidget* parent)
    : QMainWindow(parent, Qt::Window), m_sources(sources), m_messages(std::move(messages)),
      m_listing(listing), m_keys(keys) {
    setObjectName("XmitMacrosForm");
    setWindowTitle("Macro Edit");

    QMenu* file = menuBar()->addMenu("File");
    Exit1 = file->addAction("Exit", this, &TXmitMacrosForm::Exit1Click);
    Exit1->setObjectName("Exit1");
    QMenu* macro = menuBar()->addMenu("Macro");
    ShowMacros1 = macro->addAction("Show Macros", this, &TXmitMacrosForm::ShowMacros1Click);
    ShowMacros1->setObjectName("ShowMacros1");
    QMenu* load = menuBar()->addMenu("Load From..");
    QMenu* save = menuBar()->addMenu("Save To...");
    for (int n = 1; n <= kMacroCount; ++n) {
        const QString caption = QString::fromStdString(messageButtonCaption(n));
        QAction* l = load->addAction(caption, this, [this, n] { loadMacro(n); });
        l->setObjectName(QString("M%1%2").arg(n).arg(1));
        QAction* s = save->addAction(caption, this, [this, n] { saveMacro(n); });
        s->setObjectName(QString("M%1%2").arg(n).arg(2));
        loadItems[static_cast<std::size_t>(n)] = l;
        saveItems[static_cast<std::size_t>(n)] = s;
    }
    QMenu* keysMenu = menuBar()->addMenu("Keys");
    ShowKeys1 = keysMenu->addAction("Show Keys", this, &TXmitMacrosForm::ShowKeys1Click);
    ShowKeys1->setObjectName("ShowKeys1");

    auto* central = new QWidget(this);
    Memo1 = new QPlainTextEdit(central);
    Memo1->setObjectName("Memo1");
    ClrTxtBtn = new QPushButton("Clear Text", central);
    ClrTxtBtn->setObjectName("ClrTxtBtn");
    connect(ClrTxtBtn, &QPushButton::clicked, Memo1, &QPlainTextEdit::clear);

    auto* info = new QGridLayout;
    int row = 0;
    auto field = [&](const char* name, const char* caption, bool readOnly) {
        auto* e = new QLineEdit(central);
        e->setObjectName(name);
        e->setReadOnly(readOnly);
        e->setMinimumWidth(kInfoFieldWidth);
        info->addWidget(new QLabel(caption, central), row, 0);
        info->addWidget(e, row, 1);
        ++row;
        return e;
    };
    MyNameMemo = field("MyNameMemo", "MyName", false);
    MyQTHMemo = field("MyQTHMemo", "MyQTH", false);
    QTHMemo = field("QTHMemo", "MyInfo", false);
    connect(MyNameMemo, &QLineEdit::textChanged, this, &TXmitMacrosForm::myNameChanged);
    connect(MyQTHMemo, &QLineEdit::textChanged, this, &TXmitMacrosForm::myQthChanged);
    connect(QTHMemo, &QLineEdit::textChanged, this, &TXmitMacrosForm::qthChanged);
    ShortCutMemo = field("ShortCutMemo", "Shortcut", true);
    GMTMemo = field("GMTMemo", "Universal Time", true);
    LocalTimeMemo = field("LocalTimeMemo", "Local Time", true);
    GkClock1 = new TGkClock(central);
    GkClock1->setObjectName("GkClock1");
    QFont clockFont = GkClock1->font();
    clockFont.setPixelSize(kClockFontPixels);
    GkClock1->setFont(clockFont);
    GkClock1->setFixedSize(kClockWidth, kClockHeight);
    info->addWidget(GkClock1, row, 1, Qt::AlignLeft);

    GroupBox1 = new QGroupBox("Macro Keys", central);
    GroupBox1->setObjectName("GroupBox1");
    auto* legend = new QGridLayout(GroupBox1);
    const auto& lines = macroKeyLegend();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        auto* label = new QLabel(lines[i], GroupBox1);
        label->setObjectName(QString("KeyLabel%1").arg(i + 1));
        legend->addWidget(label, static_cast<int>(i) / kLegendColumns,
                          static_cast<int>(i) % kLegendColumns);
    }

    auto* left = new QVBoxLayout;
    left->addWidget(Memo1, 1);
    left->addWidget(ClrTxtBtn, 0, Qt::AlignLeft);
    auto* right = new QVBoxLayout;
    right->addLayout(info);
    right->addWidget(GroupBox1);
    right->addStretch();
    auto* top = new QHBoxLayout(central);
    top->addLayout(left, 1);
    top->addLayout(right);
    setCentralWidget(central);
    resize(kEditorWidth, kEditorHeight);
}

void TXmitMacrosForm::loadMacro(int n) {
    if (n < 1 || n > kMacroCount) return;
    Memo1->setPlainText(fromLatin1(m_sources[static_cast<std::size_t>(n)]));
    ShortCutMemo->setText(QString::fromStdString(macroShortcut(n)));
}

bool TXmitMacrosForm::saveMacro(int n) {
    if (n < 1 || n > kMacroCount) return false;
    if (!macroSourceFromText(Memo1->toPlainText().toStdString(),
                             m_sources[static_cast<std::size_t>(n)])) {
        m_messages(QString(kMacroTooLongText).arg(n).toStdString(), kErrorMessageCaption);
        return false;
    }
    ShortCutMemo->setText(QString::fromStdString(macroShortcut(n)));
    if (m_listing && m_listing->isVisible()) m_listing->refresh(m_sources);
    return true;
}

void TXmitMacrosForm::Exit1Click() {
    Memo1->clear();
    hide();
}

void TXmitMacrosForm::ShowMacros1Click() {
    if (m_listing) m_listing->showMacros(m_sources);
}

void TXmitMacrosForm::ShowKeys1Click() {
    if (m_keys) m_keys->show();
}

void TXmitMacrosForm::setClockTexts(const std::string& utcTime, const std::string& localTime) {
    GMTMemo->setText(QString::fromStdString(utcTime));
    LocalTimeMemo->setText(QString::fromStdString(localTime));
}

void TXmitMacrosForm::setMyName(const QString& text) {
    MyNameMemo->setText(text);
}
void TXmitMacrosForm::setMyQth(const QString& text) {
    MyQTHMemo->setText(text);
}
void TXmitMacrosForm::setQth(const QString& text) {
    QTHMemo->setText(text);
}

void TXmitMacrosForm::fillMacroFields(MacroFields& fields) const {
    fields.MyNameMemo = MyNameMemo->text().toStdString();
    fields.QTHMemo = QTHMemo->text().toStdString();
    fields.MyQTHMemo = MyQTHMemo->text().toStdString();
    fields.GMTMemo = GMTMemo->text().toStdString();
    fields.LocalTimeMemo = LocalTimeMemo->text().toStdString();
}

} // namespace dita::macros
