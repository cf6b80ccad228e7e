#include "app/main_window.h"

#include "app/accessibility.h"
#include "app/center_form.h"
#include "app/context_menus.h"
#include "app/design_font.h"
#include "app/keyboard.h"
#include "app/nested_views.h"
#include "app/open_targets.h"
#include "app/settings_file.h"
#include "app/settings_location.h"
#include "app/window_icon.h"
#include "cabinet/contents_list.h"
#include "controls/button_keys.h"
#include "controls/control_error.h"
#include "controls/dir_list.h"
#include "controls/drive_list.h"
#include "controls/file_list.h"
#include "controls/list_view.h"
#include "controls/vb_check_box.h"
#include "controls/vb_label.h"
#include "dialogs/about_box.h"
#include "extract/run_queue.h"
#include "platform/drive_map.h"
#include "platform/path_text.h"
#include "platform/prompt.h"
#include "platform/screen.h"

#include <QActionGroup>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

namespace fm {

namespace {

// The designed client area, and the outer height the load handler gives the window.
constexpr double kClientWidth = 6255;
constexpr double kClientHeight = 5475;
constexpr double kOuterHeight = 6165;

} // namespace

frmFendlemark::frmFendlemark(const Platform& platform, QWidget* parent)
    : QMainWindow(parent), platform_(platform) {
    setObjectName(QStringLiteral("frmFendlemark"));
    setWindowTitle(QStringLiteral("Fendlemark"));
    setWindowIcon(FendlemarkIcon());
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    setFont(DesignFont());
    buildControls();
    buildMenus();
    AddKeyboardAccess(*this);
    NameControlsForScreenReaders(*this);
    AcceptDroppedPaths(*this);
    PressButtonsWithEnter(*this);
    AddEverydayActions(*this);
    new NestedViews(*this);
}

frmFendlemark::~frmFendlemark() = default;

void frmFendlemark::buildControls() {
    const Screen& s = *platform_.screen;
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(twipsToPixels(kClientWidth, s.twipsPerPixelX()),
                         twipsToPixels(kClientHeight, s.twipsPerPixelY()));
    setCentralWidget(client);
    auto place = [&](QWidget* w, const char* name, double l, double t, double wd, double h) {
        w->setParent(client);
        w->setObjectName(QString::fromLatin1(name));
        w->setGeometry(twipsRect(l, t, wd, h, s));
    };

    // In tab order.
    Dir1 = new DirList(*platform_.drives);
    place(Dir1, "Dir1", 180, 720, 3615, 1890);
    File1 = new FileList(*platform_.drives);
    File1->setPattern(QStringLiteral("*.cab"));
    File1->setPath(Dir1->path());
    place(File1, "File1", 3900, 720, 2175, 1845);
    ckSelAllCabs = new VbCheckBox(QStringLiteral("Select All"));
    place(ckSelAllCabs, "ckSelAllCabs", 4980, 435, 975, 255);
    lvwFiles = new ListView;
    place(lvwFiles, "lvwFiles", 180, 3120, 5055, 2175);
    cmdExtract = new QPushButton(QStringLiteral("Extract"));
    place(cmdExtract, "cmdExtract", 5385, 3720, 735, 495);
    cmdClose = new QPushButton(QStringLiteral("Exit"));
    place(cmdClose, "cmdClose", 5385, 4440, 735, 495);
    Drive1 = new DriveList(*platform_.drives);
    place(Drive1, "Drive1", 180, 360, 2655, 315);
    if (Dir1->path().size() >= 2) {
        try {
            Drive1->setDrive(Dir1->path().left(2));
        } catch (const std::exception&) {
        }
    }
    lblUnSelAll = new VbLabel(QStringLiteral("Unselect All"));
    place(lblUnSelAll, "lblUnSelAll", 3780, 2850, 975, 225);
    lblUnSelAll->setCursor(Qt::PointingHandCursor);
    lblUnSelAll->setVisible(false);
    lblFiles = new VbLabel(QStringLiteral("lblFiles"));
    place(lblFiles, "lblFiles", 1620, 2880, 1935, 255);
    Label1 = new VbLabel(QStringLiteral("Double-click folder to view contents:"));
    place(Label1, "Label1", 180, 120, 2655, 255);
    Label2 = new VbLabel(QStringLiteral("CAB files:"));
    place(Label2, "Label2", 3900, 480, 735, 255);
    Label3 = new VbLabel(QStringLiteral("CAB contents:"));
    place(Label3, "Label3", 180, 2880, 1095, 255);
    for (QWidget* label : {static_cast<QWidget*>(lblUnSelAll), static_cast<QWidget*>(lblFiles),
                           static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2),
                           static_cast<QWidget*>(Label3)})
        label->setFocusPolicy(Qt::NoFocus);

    QWidget* order[] = {Dir1, File1, ckSelAllCabs, lvwFiles, cmdExtract, cmdClose, Drive1};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(Drive1, &DriveList::gotFocus, this, &frmFendlemark::Drive1_GotFocus);
    connect(Drive1, &DriveList::change, this, &frmFendlemark::Drive1_Change);
    connect(Dir1, &DirList::change, this, &frmFendlemark::Dir1_Change);
    connect(Dir1, &DirList::openFailed, this,
            [this](const ControlError& e) { platform_.prompt->ok(this, e.message()); });
    connect(File1, &FileList::click, this, &frmFendlemark::File1_Click);
    connect(ckSelAllCabs, &VbCheckBox::clickEvent, this, &frmFendlemark::ckSelAllCabs_Click);
    connect(lvwFiles, &ListView::columnClick, this, &frmFendlemark::lvwFiles_ColumnClick);
    connect(lvwFiles, &ListView::click, this, &frmFendlemark::lvwFiles_Click);
    connect(lblUnSelAll, &VbLabel::click, this, &frmFendlemark::lblUnSelAll_Click);
    connect(cmdClose, &QPushButton::clicked, this, &frmFendlemark::cmdClose_Click);
    connect(cmdExtract, &QPushButton::clicked, this, &frmFendlemark::cmdExtract_Click);
}

void frmFendlemark::buildMenus() {
    mFile = menuBar()->addMenu(QStringLiteral("&File"));
    mFile->setObjectName(QStringLiteral("mFile"));
    mExit = mFile->addAction(QStringLiteral("E&xit"));
    mExit->setObjectName(QStringLiteral("mExit"));
    mOptions = menuBar()->addMenu(QStringLiteral("&Options"));
    mOptions->setObjectName(QStringLiteral("mOptions"));
    mChangeExtract = mOptions->addAction(QStringLiteral("&Change extract settings"));
    mChangeExtract->setObjectName(QStringLiteral("mChangeExtract"));
    mRefresh = mOptions->addAction(QStringLiteral("&Refresh"));
    mRefresh->setObjectName(QStringLiteral("mRefresh"));
    mSelectMatching = mOptions->addAction(QStringLiteral("Select &Matching Rows\u2026"));
    mSelectMatching->setObjectName(QStringLiteral("mSelectMatching"));
    mSelectMatching->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    // Put in the Options menu below the designed items, with the other added ones.
    mNameEncoding = new QMenu(QStringLiteral("File &Name Encoding"), this);
    mNameEncoding->setObjectName(QStringLiteral("mNameEncoding"));
    auto* encodings = new QActionGroup(mNameEncoding);
    static constexpr std::pair<int, const char*> kEncodings[] = {
        {1252, "&Windows (Western)"},
        {437, "&437 (DOS, United States)"},
        {850, "&850 (DOS, Western European)"},
        {866, "8&66 (DOS, Cyrillic)"},
        {932, "&932 (Japanese)"},
        {936, "936 (&Simplified Chinese)"},
        {949, "949 (&Korean)"},
        {950, "950 (&Traditional Chinese)"},
        {1250, "&1250 (Central European)"},
        {1251, "1251 (&Cyrillic)"},
        {1253, "1253 (&Greek)"}};
    for (const auto& [codePage, label] : kEncodings) {
        QAction* item = mNameEncoding->addAction(QString::fromUtf8(label));
        item->setCheckable(true);
        item->setChecked(codePage == NameCodePage);
        item->setData(codePage);
        encodings->addAction(item);
        connect(item, &QAction::triggered, this,
                [this, page = codePage] { mNameEncoding_Click(page); });
    }
    mLookInside = new QAction(QStringLiteral("&Look Inside Installers and Update Packages"), this);
    mLookInside->setObjectName(QStringLiteral("mLookInside"));
    mLookInside->setCheckable(true);
    connect(mLookInside, &QAction::triggered, this, &frmFendlemark::mLookInside_Click);
    mHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mHelp->setObjectName(QStringLiteral("mHelp"));
    mAbout = mHelp->addAction(QStringLiteral("&About Fendlemark"));
    mAbout->setObjectName(QStringLiteral("mAbout"));

    connect(mExit, &QAction::triggered, this, &frmFendlemark::mExit_Click);
    connect(mChangeExtract, &QAction::triggered, this, &frmFendlemark::mChangeExtract_Click);
    connect(mRefresh, &QAction::triggered, this, &frmFendlemark::mRefresh_Click);
    connect(mSelectMatching, &QAction::triggered, this, &frmFendlemark::mSelectMatching_Click);
    connect(mAbout, &QAction::triggered, this, &frmFendlemark::mAbout_Click);
}

void frmFendlemark::Load() {
    Loading = true;
    lblFiles->setText(QString());
    SelectAllCabs();

    const int listWidth = lvwFiles->width();
    lvwFiles->addColumn(QStringLiteral("Name"), QStringLiteral("Name"),
                        static_cast<int>(0.47 * listWidth));
    lvwFiles->addColumn(QStringLiteral("Size"), QStringLiteral("Size"),
                        static_cast<int>(0.23 * listWidth), Qt::AlignRight);
    lvwFiles->addColumn(QStringLiteral("Modified"), QStringLiteral("Modified"),
                        static_cast<int>(0.23 * listWidth), Qt::AlignRight);
    lvwFiles->addColumn(QStringLiteral("Path"), QStringLiteral("Path"), 0);
    lvwFiles->addColumn(QStringLiteral("SortSize"), QStringLiteral("SortSize"), 0);
    lvwFiles->addColumn(QStringLiteral("SortDate"), QStringLiteral("SortDate"), 0);
    lvwFiles->setToolTipMaker(ContentsRowToolTip);

    const std::string programPosix = TextToPath(platform_.programFolder);
    const auto programDrive = platform_.drives->toDrive(programPosix);
    AppPath = programDrive ? PathToText(*programDrive) : platform_.programFolder;
    // Beside the program while its folder is writable, else in the user's configuration folder
    // (read from the program folder until the user's own file exists).
    const SettingsFiles ini = SettingsFilesFor(programPosix);
    const auto useSettingsFile = [&](const std::string& posix) {
        IniPosixPath = posix;
        if (posix == ini.beside)
            IniFilePath = AppPath + (programDrive ? QStringLiteral("\\") : QStringLiteral("/")) +
                          QStringLiteral("Fendlemark.ini");
        else
            IniFilePath = PathToText(platform_.drives->toDrive(posix).value_or(posix));
    };
    useSettingsFile(ini.readFrom);

    LoadSettings();
    useSettingsFile(ini.writeTo);

    FitToFrame();
    Loading = false;
}

void frmFendlemark::FitToFrame() {
    const Screen& s = *platform_.screen;
    // Outer height = the designed 6165 twips, frame and menu bar included. The frame is the
    // window manager's: unknown until the window is mapped (0 before), so this runs again when
    // it becomes known. The window keeps a fixed size: its controls never move.
    const int frame = frameGeometry().height() - geometry().height();
    fittedFrame_ = frame;
    const int outer = twipsToPixels(kOuterHeight, s.twipsPerPixelY());
    const int needed = menuBar()->sizeHint().height() + centralWidget()->height();
    setFixedSize(centralWidget()->width(), std::max(outer - frame, needed));
    CenterForm(*this, s);
}

void frmFendlemark::moveEvent(QMoveEvent* event) {
    QMainWindow::moveEvent(event);
    if (fittedFrame_ >= 0 && frameGeometry().height() - geometry().height() != fittedFrame_)
        FitToFrame();
}

void frmFendlemark::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (fittedFrame_ >= 0 && frameGeometry().height() - geometry().height() != fittedFrame_)
        FitToFrame();
}

void frmFendlemark::closeEvent(QCloseEvent* event) {
    if (activeRun_) {
        // Asked once; the window closes when the run has ended.
        event->ignore();
        if (!exitAsked_ &&
            platform_.prompt->yesNo(this, QStringLiteral("An extraction is running. Cancel the "
                                                         "extraction and exit?"))) {
            exitAsked_ = true;
            activeRun_->cancel();
        }
        return;
    }
    Unload();
    event->accept();
}

void frmFendlemark::Unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    SavedSel.reset();
    SaveSettings();
}

void frmFendlemark::cmdClose_Click() {
    close();
}

void frmFendlemark::mExit_Click() {
    close();
}

void frmFendlemark::mAbout_Click() {
    frmAbout about(*this, *platform_.screen);
    about.exec();
}

} // namespace fm
