#include "encoder/app/ui/dialog_layouts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QStyleOptionSlider>

#include "encoder/app/resource.h"
#include "encoder/app/strings.h"
#include "encoder/app/ui/placing.h"
#include "encoder/app/ui/windows.h"
#include "encoder/controls/ui/digit_counter.h"
#include "encoder/controls/ui/drawn_button.h"
#include "encoder/controls/ui/ellipsis_label.h"
#include "encoder/controls/ui/gradient_progress_bar.h"
#include "encoder/tags/paths.h"

namespace orvane::encoder::ui {

using controls::DigitCounter;
using controls::DrawnButton;
using controls::EllipsisLabel;
using controls::GradientProgressBar;

namespace {

const QColor kKey(255, 0, 255);  // transparent colour of the control bitmaps

QString Tip(int id) { return QString::fromStdString(LoadString(id)); }

DrawnButton* Button(QtWindowPort& port, int id, QWidget* parent, const QString& text, int x, int y,
                    int w, int h, int tipId = 0, unsigned style = 0) {
    auto* b = PlaceDrawnButton(port, id, parent, text, x, y, w, h, style);
    if (tipId) b->SetTooltipText(Tip(tipId));
    return b;
}

// The "X" that marks the chosen source or target; the logic shows and hides it.
QLabel* Mark(QtWindowPort& port, int id, QWidget* parent, int x, int y) {
    auto* mark = Place<QLabel>(parent, x, y, 16, 16);
    // The mark bitmap with its transparent colour made see-through.
    QImage image = SharedBitmap(3).convertToFormat(QImage::Format_ARGB32);
    for (int yy = 0; yy < image.height(); ++yy) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(yy));
        for (int xx = 0; xx < image.width(); ++xx) {
            if ((line[xx] & 0xFFFFFF) == (kKey.rgb() & 0xFFFFFF)) line[xx] = 0;
        }
    }
    mark->setPixmap(QPixmap::fromImage(image));
    mark->hide();
    port.Bind(id, mark);
    return mark;
}

QRadioButton* Radio(QtWindowPort& port, int id, QWidget* parent, const QString& text, int x, int y,
                    int w) {
    auto* r = Place<QRadioButton>(parent, x, y, w, 20);
    r->setText(text);
    port.Bind(id, r);
    return r;
}

QCheckBox* Check(QtWindowPort& port, int id, QWidget* parent, const QString& text, int x, int y,
                 int w) {
    auto* c = Place<QCheckBox>(parent, x, y, w, 20);
    c->setText(text);
    port.Bind(id, c);
    return c;
}

QGroupBox* Group(QWidget* parent, const QString& title, int x, int y, int w, int h) {
    auto* g = Place<QGroupBox>(parent, x, y, w, h);
    g->setTitle(title);
    return g;
}

}  // namespace

QFont PageFont() {
    QFont font("DejaVu Sans");
    font.setPointSize(8);
    return font;
}

void ApplyTiledLook(QWidget* window) {
    QPalette pal = window->palette();
    const QPixmap tile(QString(":/bitmaps/%1.png").arg(IDB_BACKGROUND));
    if (!tile.isNull()) pal.setBrush(QPalette::Window, QBrush(tile));
    pal.setColor(QPalette::WindowText, QColor(255, 255, 255));
    window->setPalette(pal);
    window->setAutoFillBackground(true);
}

TickSlider::TickSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
    setTickPosition(QSlider::NoTicks);
}

void TickSlider::paintEvent(QPaintEvent* event) {
    QSlider::paintEvent(event);
    if (ticks_.empty()) return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    QStyleOptionSlider option;
    initStyleOption(&option);
    const QRect handle =
        style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    const int span = width() - handle.width();
    for (int value : ticks_) {
        const int x =
            handle.width() / 2 + QStyle::sliderPositionFromValue(minimum(), maximum(), value, span);
        p.drawLine(x, height() - 6, x, height() - 1);
    }
}

void BuildPage1(QWidget* page, QtWindowPort& port) {
    page->setFont(PageFont());
    QGroupBox* source = Group(page, "Source", 8, 4, 150, 156);
    auto* cd = Button(port, IDC_SRC_CDAUDIO, source, "CD-Audio", 10, 20, 96, 56, IDS_TIP_CDAUDIO);
    cd->SetBitmaps(SharedBitmap(1), kKey);
    cd->SetAlign(controls::kAlignImageTop);
    Mark(port, IDC_MARK_CDAUDIO, source, 120, 40);
    auto* wav = Button(port, IDC_SRC_WAVFILES, source, QString(), 10, 82, 96, 50, IDS_TIP_WAVFILES);
    wav->SetBitmaps(SharedBitmap(0), kKey);
    Mark(port, IDC_MARK_WAVFILES, source, 120, 99);
    auto* caption = Label(source, "WAV File(s)", 10, 134, 96, 16);
    caption->setAlignment(Qt::AlignCenter);
    port.Bind(IDC_SOURCE_CAPTION, caption);

    QGroupBox* target = Group(page, "Target", 166, 4, 296, 156);
    Button(port, IDC_TO_MP3, target, "Encode to MP3", 8, 22, 152, 34, IDS_TIP_TOMP3);
    Mark(port, IDC_MARK_TOMP3, target, 166, 31);
    Button(port, IDC_TO_WMA, target, "Encode to WMA", 8, 64, 152, 34, IDS_TIP_TOWMA);
    Mark(port, IDC_MARK_TOWMA, target, 166, 73);
    Button(port, IDC_TO_WAV, target, "Decode to WAV", 8, 106, 152, 34, IDS_TIP_TOWAV);
    Mark(port, IDC_MARK_TOWAV, target, 166, 115);
    auto* tag = Button(port, IDC_ID3TAG, target, "ID3 Tag", 188, 22, 82, 34);
    tag->SetFlat(false);
    auto* options =
        Button(port, IDC_OPTIONS, target, "&Options", 188, 106, 82, 34, IDS_TIP_OPTIONS);
    options->SetFlat(false);
    // The targets beyond the three described ones; their choices are on page 630. Its mark
    // sits to its right, as the others' do.
    auto* formats = Button(port, IDC_TO_FORMATS, target, "FLAC / O&pus", 188, 64, 82, 34);
    formats->SetFlat(false);
    Mark(port, IDC_MARK_TOFORMATS, target, 274, 73);
    // The flat tiles take the keyboard focus (Space presses them): the focus shows on them.
    for (int id : {IDC_SRC_CDAUDIO, IDC_SRC_WAVFILES, IDC_TO_MP3, IDC_TO_WMA, IDC_TO_WAV}) {
        if (auto* tile = dynamic_cast<DrawnButton*>(port.Control(id))) tile->SetFocusOnFlat(true);
    }

    auto* inLabel = Label(page, "&Input Filename:", 8, 168, 300, 16);
    port.Bind(IDC_INPUT_LABEL, inLabel);
    // The path fields hold any path the system can take: a shorter limit would cut a chosen
    // path silently.
    constexpr int kPathLimit = static_cast<int>(kMaxPathBytes);
    QLineEdit* input = Edit(port, IDC_INPUT, page, 8, 186, 414, kPathLimit);
    inLabel->setBuddy(input);
    auto* inBrowse = Button(port, IDC_INPUT_BROWSE, page, "...", 428, 186, 34, 22);
    inBrowse->SetFlat(false);
    auto* outLabel = Label(page, "&Output Filename:", 8, 214, 300, 16);
    port.Bind(IDC_OUTPUT_LABEL, outLabel);
    QLineEdit* output = Edit(port, IDC_OUTPUT, page, 8, 232, 414, kPathLimit);
    outLabel->setBuddy(output);
    auto* outBrowse = Button(port, IDC_OUTPUT_BROWSE, page, "...", 428, 232, 34, 22);
    outBrowse->SetFlat(false);
    Check(port, IDC_BATCH, page, "Encode / Decode &Multiple Files (Batch Processing)", 8, 266, 454);
    // Below the described controls: a music library of any audio format as the source.
    Check(port, IDC_LIBRARY, page,
          "Convert a Music &Library (any audio files, its folders mirrored, tags carried)", 8, 290,
          454);
}

void BuildLibraryPage(QWidget* page, QtWindowPort& port) {
    page->setFont(PageFont());
    QGroupBox* library = Group(page, "Music Library", 8, 4, 454, 126);
    Check(port, IDC_LIB_SUBFOLDERS, library,
          "Include &subfolders (the same folders are made below the output folder)", 10, 22, 434);
    Check(port, IDC_LIB_SKIP, library,
          "&Skip files already converted (an output newer than its source stays)", 10, 46, 434);
    auto* target = Label(library, QString(), 10, 76, 434, 16);
    port.Bind(IDC_LIB_TARGET, target);
    Label(library, "Disc images with a cue sheet beside them become a file per track.", 10, 98, 434,
          16);
}

void BuildFormatPage(QWidget* page, QtWindowPort& port) {
    page->setFont(PageFont());
    QGroupBox* format = Group(page, "Format", 8, 4, 454, 74);
    Radio(port, IDC_FMT_FLAC, format, "&FLAC (lossless: decodes to the very samples of the input)",
          10, 20, 434);
    Radio(port, IDC_FMT_OPUS, format, "&Opus (lossy, in an Ogg file)", 10, 44, 434);

    QGroupBox* flac = Group(page, "FLAC", 8, 86, 222, 98);
    auto* levelLabel = Label(flac, "Compression &level:", 10, 24, 130, 16);
    auto* level = Place<QComboBox>(flac, 146, 20, 64, 24);
    levelLabel->setBuddy(level);
    port.Bind(IDC_FMT_LEVEL, level);
    Label(flac, "0 is fastest, 8 smallest", 10, 48, 200, 16);
    Check(port, IDC_FMT_VERIFY, flac, "&Verify each file after encoding", 10, 70, 206);

    QGroupBox* opus = Group(page, "Opus", 240, 86, 222, 98);
    auto* bitrateLabel = Label(opus, "&Bitrate (Kbps):", 10, 24, 130, 16);
    auto* bitrate = Place<QComboBox>(opus, 146, 20, 64, 24);
    bitrateLabel->setBuddy(bitrate);
    port.Bind(IDC_FMT_BITRATE, bitrate);
    Label(opus, "resampled to 48 kHz", 10, 48, 200, 16);

    Check(port, IDC_FMT_REPLAYGAIN, page,
          "&ReplayGain 2.0 loudness values (each file, and all files of a batch or CD)", 8, 200,
          454);

    // A CD's tracks read once, written as several formats: each into a folder of its own.
    QGroupBox* also = Group(page, "CD-Audio: also write each track as", 8, 228, 454, 50);
    Check(port, IDC_FMT_ALSO_FLAC, also, "FLAC", 10, 22, 100);
    Check(port, IDC_FMT_ALSO_OPUS, also, "Opus", 120, 22, 100);
    Check(port, IDC_FMT_ALSO_MP3, also, "MP&3", 230, 22, 100);
    Check(port, IDC_FMT_ALSO_WAV, also, "&WAVE", 340, 22, 100);
}

void BuildPage2(QWidget* page, QtWindowPort& port) {
    page->setFont(PageFont());
    QGroupBox* layer = Group(page, "MPEG Layer", 8, 4, 144, 98);
    Radio(port, IDC_LAYER1, layer, "MP&1 (Layer 1)", 10, 20, 128);
    Radio(port, IDC_LAYER2, layer, "MP&2 (Layer 2)", 10, 44, 128);
    Radio(port, IDC_LAYER3, layer, "MP&3 (Layer 3)", 10, 68, 128);
    QGroupBox* mode = Group(page, "Mode", 160, 4, 144, 120);
    Radio(port, IDC_MODE_STEREO, mode, "&Stereo", 10, 20, 128);
    Radio(port, IDC_MODE_DUAL, mode, "&Dual Channel", 10, 44, 128);
    Radio(port, IDC_MODE_JOINT, mode, "&Joint Stereo", 10, 68, 128);
    Radio(port, IDC_MODE_MONO, mode, "&Mono", 10, 92, 128);
    QGroupBox* quality = Group(page, "Quality vs. Speed", 312, 4, 150, 74);
    Radio(port, IDC_QUALITY_HIFI, quality, "HI-FI &Quality Mode", 10, 20, 136);
    Radio(port, IDC_QUALITY_SPEED, quality, "&High Speed Mode", 10, 44, 136);

    auto* bitrateLabel = Label(page, "Total &Bitrate:", 8, 140, 96, 16);
    auto* bitrate = Place<QComboBox>(page, 104, 136, 70, 24);
    bitrateLabel->setBuddy(bitrate);
    port.Bind(IDC_BITRATE, bitrate);
    auto* slider = Place<TickSlider>(page, 184, 132, 278, 32);
    slider->setRange(32, 320);
    slider->setPageStep(1);
    slider->setSingleStep(1);
    slider->SetTicks({32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320});
    port.Bind(IDC_BITRATE_SLIDER, slider);

    Check(port, IDC_CRC, page, "E&rror Protection.", 8, 178, 220);
    Check(port, IDC_PRIVATE, page, "&Private Bit.", 8, 202, 220);
    Check(port, IDC_COPYRIGHT, page, "Material is &Copyrighted.", 8, 226, 220);
    Check(port, IDC_ORIGINAL, page, "Material is &Original.", 8, 250, 220);
    QGroupBox* emphasis = Group(page, "Decoder De-emphasis:", 240, 172, 222, 98);
    Radio(port, IDC_EMPH_NONE, emphasis, "&None", 10, 20, 200);
    Radio(port, IDC_EMPH_5015, emphasis, "&50/15 microseconds", 10, 44, 200);
    Radio(port, IDC_EMPH_CCITT, emphasis, "CCITT &J.17", 10, 68, 200);
    // Below the described controls: the loudness values the FLAC / Opus page sets as well.
    Check(port, IDC_MP3_REPLAYGAIN, page,
          "Replay&Gain 2.0 loudness values (each file, and all files of a batch or CD)", 8, 284,
          454);
}

void BuildPage3(QWidget* page, QtWindowPort& port) {
    page->setFont(PageFont());
    ApplyTiledLook(page);
    struct Row {
        int id;
        const char* label;
    };
    const Row rows[] = {{IDC_SUM_INPUT, "Input File:"},
                        {IDC_SUM_OUTPUT, "Output File:"},
                        {IDC_SUM_METHOD, "Compression Method:"},
                        {IDC_SUM_BITRATE, "Bitrate:"},
                        {IDC_SUM_MODE, "Mode:"},
                        {IDC_SUM_PSYMODEL, "Psychoacoustic model:"},
                        {IDC_SUM_EMPHASIS, "De-emphasis:"},
                        {IDC_SUM_COPYRIGHT, "Material is Copyrighted:"},
                        {IDC_SUM_ORIGINAL, "Material is Original:"},
                        {IDC_SUM_CRC, "Use CRC:"},
                        {IDC_SUM_PRIVATE, "Private:"}};
    int y = 12;
    for (const Row& row : rows) {
        Label(page, row.label, 12, y, 160, 20);
        QLabel* value = nullptr;
        if (row.id == IDC_SUM_INPUT || row.id == IDC_SUM_OUTPUT) {
            value = new EllipsisLabel(page);
            value->setGeometry(176, y, 282, 20);
        } else {
            value = Label(page, QString(), 176, y, 282, 20);
            QPalette pal = value->palette();
            pal.setColor(QPalette::WindowText, QColor(255, 255, 128));
            value->setPalette(pal);
        }
        port.Bind(row.id, value);
        y += 26;
    }
}

namespace {

// The other running files of a batch that runs several at once: below the described window,
// which grows to hold the list once it is shown and is left as it was until then.
class OthersList : public QPlainTextEdit {
public:
    static constexpr int kTop = 436, kHeight = 104;

    OthersList(QWidget* window, QLabel* caption)
        : QPlainTextEdit(window), window_(window), caption_(caption) {}

    void setVisible(bool visible) override {
        QPlainTextEdit::setVisible(visible);
        caption_->setVisible(visible);
        window_->setFixedSize(520, visible ? kTop + kHeight : 440);
    }

private:
    QWidget* window_;
    QLabel* caption_;
};

}  // namespace

void BuildStatusWindow(QWidget* window, QtWindowPort& port) {
    window->setFixedSize(520, 440);
    ApplyTiledLook(window);
    const auto light = [](QLabel* l) {
        QPalette pal = l->palette();
        pal.setColor(QPalette::WindowText, QColor(255, 255, 255));
        l->setPalette(pal);
        return l;
    };
    light(Label(window, "Input File:", 12, 12, 90, 16));
    auto* input = new EllipsisLabel(window);
    input->setGeometry(104, 12, 404, 18);
    port.Bind(IDC_STATUS_INPUT, input);
    light(Label(window, "Output File:", 12, 34, 90, 16));
    auto* output = new EllipsisLabel(window);
    output->setGeometry(104, 34, 404, 18);
    port.Bind(IDC_STATUS_OUTPUT, output);

    struct Text {
        int id;
        const char* caption;
        const char* initial;
        int x, y, w;
    };
    const Text texts[] = {
        {IDC_STATUS_ELAPSED, "Elapsed Time:", "00:00:00", 12, 62, 80},
        {IDC_STATUS_REMAINING, "Remaining Time:", "00:00:00", 262, 62, 80},
        {IDC_STATUS_FPS, nullptr, "FPS", 12, 86, 240},
        {IDC_STATUS_BITRATE, nullptr, "0kbps", 408, 86, 100},
        {IDC_STATUS_COMPRESSION, nullptr, "0MB Compressed to 0MB", 12, 108, 300},
    };
    for (const Text& t : texts) {
        int x = t.x;
        if (t.caption) {
            light(Label(window, t.caption, x, t.y, 110, 16));
            x += 112;
        }
        QLabel* value = light(Label(window, t.initial, x, t.y, t.w, 18));
        if (t.id == IDC_STATUS_BITRATE) value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        port.Bind(t.id, value);
    }
    light(Label(window, "File", 330, 108, 30, 16));
    port.Bind(IDC_STATUS_FILENO, light(Label(window, "1", 362, 108, 40, 16)));
    light(Label(window, "of", 404, 108, 20, 16));
    port.Bind(IDC_STATUS_FILECOUNT, light(Label(window, "1", 426, 108, 60, 16)));

    light(Label(window, "Current Frame", 12, 138, 110, 19));
    auto* frame = new DigitCounter(window);
    frame->setGeometry(174, 136, 10, 19);
    frame->SetAnchor(3, false);
    frame->LoadGlyphs(IDB_DIGITS, 6);
    port.Bind(IDC_STATUS_FRAME, frame);
    light(Label(window, "OF", 188, 138, 22, 19));
    auto* total = new DigitCounter(window);
    total->setGeometry(212, 136, 10, 19);
    total->SetAnchor(6, false);
    total->LoadGlyphs(IDB_DIGITS, 6);
    port.Bind(IDC_STATUS_FRAMES, total);

    light(Label(window, "Current File...", 12, 164, 200, 16));
    auto* fileBar = Place<GradientProgressBar>(window, 12, 182, 496, 18);
    port.Bind(IDC_STATUS_FILEBAR, fileBar);
    light(Label(window, "Overall Progress...", 12, 206, 200, 16));
    auto* overallBar = Place<GradientProgressBar>(window, 12, 224, 496, 18);
    port.Bind(IDC_STATUS_OVERALLBAR, overallBar);
    // Both bars write their percentage over the gradient.
    fileBar->SetShowText(true);
    overallBar->SetShowText(true);

    light(Label(window, "Advanced Encoding Status/Details:", 12, 250, 300, 16));
    auto* log = Place<QPlainTextEdit>(window, 12, 268, 496, 120);
    log->setReadOnly(true);
    log->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QPalette logPal = log->palette();
    logPal.setColor(QPalette::Base, QColor(0, 0, 200));
    logPal.setColor(QPalette::Text, QColor(250, 250, 250));
    log->setPalette(logPal);
    log->setFont(QFont("DejaVu Sans Mono", 8));
    port.Bind(IDC_STATUS_LOG, log);

    QLabel* othersCaption = light(Label(window, "Also running:", 12, OthersList::kTop, 300, 16));
    auto* others = new OthersList(window, othersCaption);
    others->setGeometry(12, OthersList::kTop + 18, 496, OthersList::kHeight - 26);
    others->setReadOnly(true);
    others->setLineWrapMode(QPlainTextEdit::NoWrap);
    others->setPalette(logPal);
    others->setFont(log->font());
    others->setVisible(false);
    port.Bind(IDC_STATUS_OTHERS, others);

    auto* cancel = Button(port, IDCANCEL, window, "&Cancel", 408, 398, 100, 30, IDS_TIP_CANCEL);
    cancel->SetColor(controls::kColorForeOut, QColor(255, 255, 255), false);
    cancel->SetColor(controls::kColorForeIn, QColor(255, 255, 64), false);
    cancel->SetColor(controls::kColorBackIn, QColor(40, 60, 160), false);
    cancel->SetTransparent(false);
}

void BuildTagDialog(QWidget* window, QtWindowPort& port) {
    window->setFixedSize(380, 250);
    window->setFont(PageFont());
    struct Field {
        int id;
        const char* label;
        int limit;
    };
    const Field fields[] = {{IDC_TAG_TITLE, "&Track/Song Title:", 29},
                            {IDC_TAG_ARTIST, "Artist &Name:", 29},
                            {IDC_TAG_ALBUM, "Album Nam&e:", 29}};
    int y = 14;
    for (const Field& f : fields) {
        QLabel* label = Label(window, f.label, 12, y + 3, 120, 16);
        label->setBuddy(Edit(port, f.id, window, 136, y, 232, f.limit));
        y += 32;
    }
    QLabel* genreLabel = Label(window, "&Music Genre:", 12, y + 3, 120, 16);
    auto* genre = Place<QComboBox>(window, 136, y, 160, 24);
    genre->setInsertPolicy(QComboBox::InsertAlphabetically);
    genre->setMaxVisibleItems(16);
    genreLabel->setBuddy(genre);
    port.Bind(IDC_TAG_GENRE, genre);
    QLabel* yearLabel = Label(window, "&Year:", 304, y + 3, 34, 16);
    QLineEdit* year = Edit(port, IDC_TAG_YEAR, window, 336, y, 32, 4);
    year->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]{0,4}"), year));
    yearLabel->setBuddy(year);
    y += 32;
    QLabel* commentLabel = Label(window, "Comm&ent:", 12, y + 3, 120, 16);
    commentLabel->setBuddy(Edit(port, IDC_TAG_COMMENT, window, 136, y, 232, 29));
    auto* ok = Button(port, IDOK, window, "O&K", 176, 206, 90, 30, 0, controls::kStyleDefaultBit);
    ok->SetFlat(false);
    auto* cancel = Button(port, IDCANCEL, window, "&Cancel", 278, 206, 90, 30);
    cancel->SetFlat(false);
}

}  // namespace orvane::encoder::ui
