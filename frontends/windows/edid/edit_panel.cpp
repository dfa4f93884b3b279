#include "frontends/windows/edid/edit_panel.h"

#include "core/edid/decode/edid_compare.h"
#include "frontends/windows/edid/view_text.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>
#include <QUndoStack>
#include <QVBoxLayout>

namespace edid {

namespace {

enum class Pick {
    Stereo,
    Surround51,
    Surround71,
    NoAudio,
    Max1080p,
    NoHdr,
    NoDeepColour,
    Preferred,
    AddVic,
    RemoveVic,
    Name,
    Serial,
    Address,
    Template, // one per template, from here on
};

const char* const kChoices[] = {"Stereo audio (2.0, LPCM only)",
                                "5.1 audio (LPCM, Dolby Digital, DTS)",
                                "7.1 audio (5.1 and LPCM 8 channels)",
                                "No audio",
                                "Limit to 1080p60",
                                "Remove HDR",
                                "Remove deep colour",
                                "Make the VIC preferred",
                                "Add the VIC",
                                "Remove the VIC",
                                "Set the display name",
                                "Set the serial number",
                                "Set the physical address"};

// The editor's lower-case clause as a sentence of the panel.
QString sentence(QString clause) {
    clause[0] = clause[0].toUpper();
    return clause + u'.';
}

// One applied edit: the view text before and after.
class TextCommand : public QUndoCommand {
public:
    TextCommand(ViewText& t, bool& applying, const QString& label, QString before, QString after)
        : QUndoCommand(label), view_(t), applying_(applying), before_(std::move(before)),
          after_(std::move(after)) {}
    void undo() override { set(before_); }
    void redo() override { set(after_); }

private:
    void set(const QString& text) {
        applying_ = true;
        view_.setText(text);
        applying_ = false;
    }
    ViewText& view_;
    bool& applying_;
    QString before_, after_;
};

} // namespace

EditPanel::EditPanel(ViewText& view, QWidget* parent)
    : QGroupBox(QStringLiteral("Edit"), parent), view_(view), undo_(new QUndoStack(this)) {
    Choice = new QComboBox(this);
    Choice->setAccessibleName(QStringLiteral("Edit to apply"));
    for (const char* c : kChoices)
        Choice->addItem(QString::fromLatin1(c));
    for (const QString& name : templateNames())
        Choice->addItem(QStringLiteral("Template %1 (replaces the image)").arg(name));

    VicBox = new QSpinBox(this);
    VicBox->setRange(1, 219);
    VicBox->setValue(16);
    VicBox->setAccessibleName(QStringLiteral("VIC"));
    NameBox = new QLineEdit(this);
    NameBox->setMaxLength(13);
    NameBox->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[\\x20-\\x7E]{0,13}")), NameBox));
    NameBox->setAccessibleName(QStringLiteral("Display name"));
    SerialBox = new QLineEdit(this);
    SerialBox->setValidator(
        new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,10}")), this));
    SerialBox->setAccessibleName(QStringLiteral("Serial number"));
    AddressBox = new QLineEdit(this);
    AddressBox->setPlaceholderText(QStringLiteral("1.0.0.0"));
    AddressBox->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[0-9]{1,2}(\\.[0-9]{1,2}){0,3}")), this));
    AddressBox->setAccessibleName(QStringLiteral("Physical address"));

    Preview = new QLabel(this);
    Preview->setWordWrap(true);
    Preview->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    Preview->setFocusPolicy(Qt::StrongFocus);
    Preview->setAccessibleName(QStringLiteral("What the edit does"));
    // Room for what it changes, where, and a finding or note, without the
    // window growing and shrinking with each choice.
    Preview->setMinimumHeight(Preview->fontMetrics().lineSpacing() * 3);
    Preview->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    ApplyBtn = new QPushButton(QStringLiteral("&Apply"), this);
    ApplyBtn->setAutoDefault(false);
    ApplyBtn->setAccessibleName(QStringLiteral("Apply the edit"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("&Edit:"), Choice);
    form->addRow(QStringLiteral("&VIC:"), VicBox);
    form->addRow(QStringLiteral("&Name:"), NameBox);
    form->addRow(QStringLiteral("&Serial:"), SerialBox);
    form->addRow(QStringLiteral("&Physical address:"), AddressBox);
    auto* row = new QHBoxLayout;
    row->addWidget(Preview, 1);
    row->addWidget(ApplyBtn);
    auto* column = new QVBoxLayout(this);
    column->addLayout(form);
    column->addLayout(row);

    menu_ = new QMenu(QStringLiteral("&Edit"), this);
    QAction* undo = undo_->createUndoAction(this, QStringLiteral("&Undo"));
    undo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Z")));
    QAction* redo = undo_->createRedoAction(this, QStringLiteral("&Redo"));
    redo->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
    menu_->addAction(undo);
    menu_->addAction(redo);
    menu_->addSeparator();
    for (int i = 0; i < Choice->count(); ++i)
        menu_->addAction(Choice->itemText(i) + QStringLiteral("..."), this, [this, i] {
            choose(i);
            ApplyBtn->setFocus();
        });
    // The shortcuts work wherever the focus is in the window.
    parent->addActions({undo, redo});

    connect(Choice, &QComboBox::currentIndexChanged, this, &EditPanel::showPreview);
    connect(VicBox, &QSpinBox::valueChanged, this, &EditPanel::showPreview);
    for (QLineEdit* e : {NameBox, SerialBox, AddressBox})
        connect(e, &QLineEdit::textChanged, this, &EditPanel::showPreview);
    // A load or a read brings another image: the edits of the last one are
    // no steps back from it.
    const auto newImage = [this] {
        if (!applying_)
            undo_->clear();
        showPreview();
    };
    connect(&view_, &ViewText::textReplaced, this, newImage);
    connect(&view_, &ViewText::textCleared, this, newImage);
    connect(ApplyBtn, &QPushButton::clicked, this, &EditPanel::apply);
    showPreview();
}

void EditPanel::choose(int index) {
    Choice->setCurrentIndex(index);
    showPreview();
}

QString EditPanel::previewText() const {
    return Preview->text();
}

EditPanel::Outcome EditPanel::outcome() const {
    const int index = Choice->currentIndex();
    if (index >= int(Pick::Template)) {
        const QString name = templateNames().value(index - int(Pick::Template));
        return {buildTemplate(name), {}};
    }
    const std::optional<Image> image = view_.image();
    if (!image)
        return {std::nullopt, QStringLiteral("Open a file or read the device first.")};
    Edit e;
    switch (Pick(index)) {
    case Pick::Stereo:
    case Pick::Surround51:
    case Pick::Surround71:
    case Pick::NoAudio:
        e = Edit(Edit::Kind::Audio);
        e.audio = AudioLayout(index);
        break;
    case Pick::Max1080p:
        e = Edit(Edit::Kind::Max1080p);
        break;
    case Pick::NoHdr:
        e = Edit(Edit::Kind::NoHdr);
        break;
    case Pick::NoDeepColour:
        e = Edit(Edit::Kind::NoDeepColour);
        break;
    case Pick::Preferred:
    case Pick::AddVic:
    case Pick::RemoveVic: {
        static const Edit::Kind kinds[] = {Edit::Kind::Preferred, Edit::Kind::AddVic,
                                           Edit::Kind::RemoveVic};
        e = Edit(kinds[index - int(Pick::Preferred)], VicBox->value());
        break;
    }
    case Pick::Name:
        e = Edit(Edit::Kind::Name);
        e.text = NameBox->text();
        break;
    case Pick::Serial: {
        bool ok = false;
        const qulonglong v = SerialBox->text().toULongLong(&ok);
        if (!ok || v > 0xFFFFFFFFull)
            return {std::nullopt, QStringLiteral("Type a serial number from 0 to 4294967295.")};
        e = Edit(Edit::Kind::Serial);
        e.serial = quint32(v);
        break;
    }
    case Pick::Address: {
        const QStringList parts = AddressBox->text().split(u'.');
        if (parts.size() != 4)
            return {std::nullopt, QStringLiteral("Type a physical address A.B.C.D.")};
        e = Edit(Edit::Kind::PhysicalAddress);
        for (int i = 0; i < 4; ++i)
            e.address[i] = parts[i].toInt();
        break;
    }
    case Pick::Template:
        break;
    }
    const EditOutcome out = applyEdit(*image, e);
    if (!out.image)
        return {std::nullopt, sentence(out.refusal)};
    QStringList notes;
    for (const QString& note : out.notes)
        notes << sentence(note);
    return {out.image, {}, notes};
}

void EditPanel::follow() {
    if (view_.image() != previewedImage_)
        showPreview();
}

void EditPanel::showPreview() {
    previewedText_ = view_.text();
    previewedImage_ = view_.image();
    previewedChoice_ = Choice->currentText() + VicBox->text() + NameBox->text() +
                       SerialBox->text() + AddressBox->text();
    changed_.clear();
    const Outcome o = outcome();
    ApplyBtn->setEnabled(o.image && o.image != previewedImage_);
    Preview->setText(o.image ? changeText(*o.image, o.notes) : o.problem);
    emit previewShown();
}

QString EditPanel::changeText(const Image& after, const QStringList& notes) {
    if (!previewedImage_)
        return QStringLiteral("Writes the template's 256 bytes.");
    const Image& before = *previewedImage_;
    if (before == after)
        return QStringLiteral("The image already is so: nothing changes.");
    const auto bytes = [](const Image& m) {
        return QByteArrayView(reinterpret_cast<const char*>(m.data()), m.size());
    };
    const EdidComparison c = compareEdid(bytes(before), bytes(after));
    changed_ = c.differingOffsets;
    // Listed as well as marked, for those who do not see the marks.
    QString text =
        QStringLiteral("Changes %1 bytes, %2 decoded fields.\nMarked in the dump: bytes %3.")
            .arg(changed_.size())
            .arg(c.fields.size())
            .arg(offsetRanges(changed_));
    const QStringList added = addedFindings(before, after);
    if (!added.isEmpty())
        text += QStringLiteral("\nWould add: ") + added.join(QStringLiteral("; "));
    for (const QString& note : notes)
        text += u'\n' + note;
    return text;
}

void EditPanel::apply() {
    // What was previewed is what is applied: after any change, first the
    // preview again.
    const QString choice = Choice->currentText() + VicBox->text() + NameBox->text() +
                           SerialBox->text() + AddressBox->text();
    if (view_.text() != previewedText_ || choice != previewedChoice_) {
        showPreview();
        return;
    }
    const Outcome o = outcome();
    if (!o.image)
        return;
    undo_->push(new TextCommand(view_, applying_, Choice->currentText(), view_.text(),
                                writtenForm(*o.image)));
}

} // namespace edid
