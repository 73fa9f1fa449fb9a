#include "app/fMain.h"

#include "app/Accessibility.h"
#include "app/AppIcon.h"
#include "app/PreviewPlayer.h"
#include "app/Twips.h"
#include "app/VideoLine.h"
#include "slideshow/Timeline.h"
#include "platform/toolkit/FittedText.h"
#include "platform/toolkit/ImageBox.h"
#include "platform/toolkit/ListBox.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

namespace kelvora::app {

namespace {

QFont boldFont()
{
    // The design's MS Sans Serif 8.25 pt bold; the closest sans-serif face stands in for it.
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Bold);
    return font;
}

// The layout was drawn for a narrower face than most systems have: a caption that would be
// cut off gets a slightly smaller size of the same bold font instead.
QFont fittedFont(QFont font, const QString& caption, int room)
{
    while (font.pointSizeF() > 6.0 && QFontMetrics(font).horizontalAdvance(caption) > room)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    return font;
}

QString captionOf(const QWidget* control)
{
    if (const auto* button = qobject_cast<const QAbstractButton*>(control))
        return button->text();
    if (const auto* label = qobject_cast<const QLabel*>(control))
        return label->text();
    return {};
}

template <typename Control> Control* place(Control* control, const QRect& rect, bool bold)
{
    control->setGeometry(rect);
    if (bold) {
        // Room for the caption: buttons keep a margin, the check box its indicator.
        const int margin = qobject_cast<QCheckBox*>(control) ? 22 : qobject_cast<QPushButton*>(control) ? 8 : 0;
        control->setFont(fittedFont(boldFont(), captionOf(control), rect.width() - margin));
    }
    return control;
}

}  // namespace

fMain::fMain(Services services, QWidget* parent)
    : QWidget(parent), m_services(services), m_endApplication([] { QCoreApplication::exit(0); })
{
    setWindowTitle(QStringLiteral("KELVORA MAKER - © 2026 il gruppo di Kelvora Maker"));
    setWindowIcon(makeAppIcon());
    setFixedSize(twips(8610), twips(7500));
    createControls();
    connectHandlers();
    describeControls(*this);
    showDurations();
    setAcceptDrops(true);
    Form_Load();
}

fMain::~fMain() = default;

void fMain::createControls()
{
    Command1 = place(new QPushButton(QStringLiteral("Cancella tutti i fotogrammi dalla lista"), this),
                     twipsRect(4110, 5430, 4395, 480), true);
    Cartella = place(new QCheckBox(QStringLiteral("Tutta la cartella"), this), twipsRect(4110, 5010, 2085, 255), true);
    Cartella->setChecked(true);
    HScroll = place(new QScrollBar(Qt::Horizontal, this), twipsRect(4110, 6150, 1185, 285), false);
    HScroll->setRange(1, 30);
    HScroll->setValue(25);
    HScroll->setSingleStep(1);
    HScroll->setPageStep(1);
    HScroll->setTracking(true);
    // Qt's scroll bar inverts its keys by default; Left must lower the rate, Right raise it.
    HScroll->setInvertedControls(false);
    txtFPS = place(new QLineEdit(QStringLiteral("1"), this), twipsRect(8070, 6120, 435, 285), false);
    txtFPS->setEnabled(false);
    txtFPS->setAlignment(Qt::AlignCenter);
    cmdWriteAVI =
        place(new QPushButton(QStringLiteral("Salva file AVI"), this), twipsRect(6480, 4440, 2025, 480), true);
    cmdWriteAVI->setEnabled(false);
    lstDIBList = place(new platform::ListBox(this), twipsRect(90, 60, 8430, 4155), false);
    cmdFileOpen = place(new QPushButton(QStringLiteral("Aggiungi BMP"), this), twipsRect(4110, 4440, 2025, 480), true);
    cmdExit = place(new QPushButton(QStringLiteral("Esci"), this), twipsRect(5850, 6900, 825, 480), true);
    lblfps = place(new QLabel(QStringLiteral("Fotogrammi per secondo (1-30)"), this), twipsRect(5340, 6180, 2640, 195),
                   true);
    imgPreview = place(new platform::ImageBox(this), twipsRect(90, 4410, 3810, 2985), false);
    // Two lines high, from the scroll bar down to "Esci": a save's outcome (the success first,
    // then the codec and sizes) and an add's summary show whole rather than cut at both ends.
    lblStatus = place(new QLabel(this), twipsRect(4110, 6450, 4410, 435), true);
    lblStatus->setAlignment(Qt::AlignCenter);
    lblStatus->setWordWrap(true);
    lblStatus->setTextFormat(Qt::PlainText);  // file names are shown as they are, never as markup
    // In the gap between the list and the preview, one line of the window's plain font.
    lblVideo = place(new QLabel(this), twipsRect(90, 4215, 8430, 195), false);
    QFont lineFont = lblVideo->font();
    lineFont.setPointSizeF(lineFont.pointSizeF() - 0.5);  // the gap is one small line high
    lblVideo->setFont(lineFont);
    lblVideo->setTextFormat(Qt::PlainText);
    lblVideo->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    txtFPS->installEventFilter(this);

    // Shown only as the list's popup, never in a menu bar.
    ListMenu = new QMenu(QStringLiteral("List Menu"), this);
    SpostaSu = ListMenu->addAction(QStringLiteral("Sposta su (F12)"));
    SpostaGiu = ListMenu->addAction(QStringLiteral("Sposta giù (F11)"));
    Cancella = ListMenu->addAction(QStringLiteral("Cancella (Del)"));
    Verifica = ListMenu->addAction(QStringLiteral("Verifica il video salvato"));
    Verifica->setEnabled(false);
    ListMenu->addSeparator();
    Annulla = ListMenu->addAction(QStringLiteral("Annulla"));
    Annulla->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    Ripeti = ListMenu->addAction(QStringLiteral("Ripeti"));
    Ripeti->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    Riproduci = ListMenu->addAction(QStringLiteral("Riproduci (Spazio)"));
    AltraFrequenza = ListMenu->addAction(QStringLiteral("Altra frequenza…"));
    AggiungiMusica = ListMenu->addAction(QStringLiteral("Aggiungi musica…"));
    TogliMusica = ListMenu->addAction(QStringLiteral("Togli la musica"));
    TogliMusica->setEnabled(false);
    Durata = ListMenu->addAction(QStringLiteral("Durata…"));
    Durata->setEnabled(m_services.durations != nullptr);
    OgniFormato = ListMenu->addAction(QStringLiteral("Accetta immagini di ogni formato"));
    OgniFormato->setCheckable(true);
    for (QAction* action : {Annulla, Ripeti}) {
        // The keys work wherever the focus is in the window, not only while the menu is open.
        action->setShortcutContext(Qt::WindowShortcut);
        action->setEnabled(false);
        addAction(action);
    }

    for (QPushButton* button : {Command1, cmdWriteAVI, cmdFileOpen, cmdExit})
        button->setAutoDefault(false);
    // Keyboard focus follows the design's tab indexes; the disabled number box is skipped.
    HScroll->setFocusPolicy(Qt::StrongFocus);
    setTabOrder(cmdFileOpen, cmdExit);
    setTabOrder(cmdExit, lstDIBList);
    setTabOrder(lstDIBList, cmdWriteAVI);
    setTabOrder(cmdWriteAVI, txtFPS);
    setTabOrder(txtFPS, HScroll);
    setTabOrder(HScroll, Cartella);
    setTabOrder(Cartella, Command1);
    cmdFileOpen->setFocus();
}

void fMain::connectHandlers()
{
    // A check of the last video saved compares it with the list as it was saved: any change
    // of the list (an add, a move, a delete, a clear) ends that offer.
    QAbstractItemModel* entries = lstDIBList->model();
    connect(entries, &QAbstractItemModel::rowsInserted, this, &fMain::forgetSavedVideo);
    connect(entries, &QAbstractItemModel::rowsRemoved, this, &fMain::forgetSavedVideo);
    connect(entries, &QAbstractItemModel::rowsMoved, this, &fMain::forgetSavedVideo);
    connect(entries, &QAbstractItemModel::dataChanged, this, &fMain::forgetSavedVideo);
    connect(entries, &QAbstractItemModel::modelReset, this, &fMain::forgetSavedVideo);
    connect(cmdExit, &QPushButton::clicked, this, &fMain::cmdExit_Click);
    connect(cmdFileOpen, &QPushButton::clicked, this, &fMain::cmdFileOpen_Click);
    connect(cmdWriteAVI, &QPushButton::clicked, this, &fMain::cmdWriteAVI_Click);
    connect(Command1, &QPushButton::clicked, this, &fMain::Command1_Click);
    // During a thumb drag the value moves with the thumb (Scroll); every other change, and
    // the drag's release, is a Change.
    connect(HScroll, &QScrollBar::valueChanged, this,
            [this] { HScroll->isSliderDown() ? HScroll_Scroll() : HScroll_Change(); });
    connect(HScroll, &QScrollBar::sliderReleased, this, &fMain::HScroll_Change);
    connect(lstDIBList, &platform::ListBox::Click, this, &fMain::lstDIBList_Click);
    connect(lstDIBList, &platform::ListBox::KeyDown, this, &fMain::lstDIBList_KeyDown);
    connect(lstDIBList, &platform::ListBox::MouseDown, this, &fMain::lstDIBList_MouseDown);
    connect(SpostaSu, &QAction::triggered, this, &fMain::SpostaSu_Click);
    connect(SpostaGiu, &QAction::triggered, this, &fMain::SpostaGiu_Click);
    connect(Cancella, &QAction::triggered, this, &fMain::Cancella_Click);
    connect(Verifica, &QAction::triggered, this, &fMain::Verifica_Click);
    connect(Annulla, &QAction::triggered, this, &fMain::Annulla_Click);
    connect(Ripeti, &QAction::triggered, this, &fMain::Ripeti_Click);
    connect(Riproduci, &QAction::triggered, this, &fMain::Riproduci_Click);
    connect(AltraFrequenza, &QAction::triggered, this, &fMain::AltraFrequenza_Click);
    connect(AggiungiMusica, &QAction::triggered, this, &fMain::AggiungiMusica_Click);
    connect(TogliMusica, &QAction::triggered, this, &fMain::TogliMusica_Click);
    connect(Durata, &QAction::triggered, this, &fMain::Durata_Click);
    connect(OgniFormato, &QAction::toggled, this, &fMain::OgniFormato_Toggled);
    connect(lstDIBList, &platform::ListBox::RowsDragged, this, &fMain::lstDIBList_RowsDragged);
    // An empty list holds no mix of formats, however it was emptied.
    const auto forgetMix = [this] {
        if (lstDIBList->ListCount() == 0)
            m_mixedFormats = false;
    };
    connect(entries, &QAbstractItemModel::rowsRemoved, this, forgetMix);
    connect(entries, &QAbstractItemModel::modelReset, this, forgetMix);
    // The frame-count line follows every change of the list, whoever makes it (a duration
    // set, or undone, is a change of the entries' data).
    for (const auto signal : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved})
        connect(entries, signal, this, &fMain::showVideoLine);
    connect(entries, &QAbstractItemModel::dataChanged, this, &fMain::showVideoLine);
    connect(entries, &QAbstractItemModel::modelReset, this, &fMain::showVideoLine);
}

std::int32_t fMain::hWnd() { return static_cast<std::int32_t>(winId()); }

void fMain::Form_Load()
{
    m_services.avi.AVIFileInit();
    showFps();
    showVideoLine();
}

void fMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    m_services.avi.AVIFileExit();
}

void fMain::closeEvent(QCloseEvent* event)
{
    if (busy()) {
        // The video is finished first; the window closes once the save has ended.
        m_closeWhenIdle = true;
        quitWork();
        event->ignore();
        return;
    }
    // The unload is never cancelled.
    Form_Unload();
    event->accept();
}

void fMain::cmdExit_Click()
{
    if (busy()) {
        // Never before the video is finished: the save stops, then the application ends.
        m_exitWhenIdle = true;
        quitWork();
        return;
    }
    // Ends the application at once: no unload handling runs on this path.
    m_unloaded = true;
    hide();
    m_endApplication();
}

void fMain::HScroll_Change()
{
    m_rate = {static_cast<video::DWORD>(HScroll->value()), 1};
    showFps();
}

void fMain::HScroll_Scroll() { HScroll_Change(); }

void fMain::showFps()
{
    const QString exact = QString::fromStdString(video::rateText(m_rate));
    const QString shown = shortRateText(m_rate);
    // The box is a few characters wide: a rate such as "29,97" takes a smaller size of its font.
    const int room = txtFPS->contentsRect().width() - 6;
    txtFPS->setFont(fittedFont(font(), shown, room));
    txtFPS->setText(shown);
    txtFPS->setToolTip(exact + QStringLiteral(" fotogrammi al secondo"));
    showVideoLine();
    if (playing())
        m_player->start(lstDIBList->texts(), lstDIBList->ListIndex(), m_rate);  // on at the new rate
}

void fMain::showVideoLine()
{
    if (!lblVideo)
        return;
    const platform::CompactTexts& entries = lstDIBList->texts();
    if (!entries.anyTag()) {
        lblVideo->setText(videoLine(entries.size(), m_rate));
        return;
    }
    // Frames held for their durations: the video lasts as the save lays them out.
    slideshow::PictureClock clock({m_rate.rate, m_rate.scale});
    for (int index = 0; index < entries.size(); ++index)
        (void)clock.next(entryDuration(index));
    lblVideo->setText(videoLine(entries.size(), m_rate, clock.frames()));
}

void fMain::showStatus(const QString& text)
{
    // While a job ends after the user stopped it, the line keeps saying so.
    if (!m_stoppingText.isEmpty() && busy())
        return;
    platform::setStatusText(*lblStatus, text);
}

void fMain::sayStopping(const QString& text)
{
    m_stoppingText.clear();
    showStatus(text);
    m_stoppingText = text;
    // Shown now, before the job's end is waited for.
    lblStatus->repaint();
}

bool fMain::playing() const { return m_player && m_player->playing(); }

}  // namespace kelvora::app
