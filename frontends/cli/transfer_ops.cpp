// The transfers, each inside its device mode: EDID read and download, IR
// code table read and write. They run on the core's own per-answer
// time-outs, as the windows' transfers do.

#include "core/device/switcher.h"
#include "core/edid/decode/edid_decode.h"
#include "core/edid/decode/edid_dump.h"
#include "core/edid/decode/edid_text.h"
#include "core/files/edid_file.h"
#include "core/files/read_file.h"
#include "core/ir/ir_codes.h"
#include "core/platform/platform.h"
#include "core/protocol/reply_line.h"
#include "frontends/cli/files.h"
#include "frontends/cli/operation.h"
#include "frontends/cli/output.h"

#include <QJsonArray>

namespace cli {

namespace {

using protocol::keyword;

QString hex2(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

QString byteText(int index) {
    return QStringLiteral("byte 0x%1 (%2)").arg(hex2(index)).arg(index);
}

// The core's time-out for each answer of a transfer.
QString answerTime(int ms) {
    return QStringLiteral("%1 s").arg(ms / 1000.0);
}

// The file -o names; "-" is standard output.
std::unique_ptr<files::OutputFile> outputFile(const QString& path) {
    if (path == QLatin1String("-"))
        return std::make_unique<files::OutputFile>(1, QStringLiteral("standard output"));
    return std::make_unique<files::OutputFile>(path);
}

// ---------------------------------------------------------------------------
// EDID

class EdidOperation : public ModeOperation {
public:
    explicit EdidOperation(const Context& context) : ModeOperation(context, Mode::Edid) {
        edid::EdidTransfer& t = transfer();
        connect(&t, &edid::EdidTransfer::started, this, [this](transfer::Phase p) {
            phase_ = p;
            at_ = -1;
            inTransfer_ = true;
        });
        connect(&t, &edid::EdidTransfer::progress, this, [this](int done, int total) {
            at_ = done;
            if (!over())
                c_.console.progress(label(), done + 1, total);
        });
        connect(&t, &edid::EdidTransfer::finished, this, [this](const transfer::Outcome& o) {
            // A device that leaves the mode is the mode session's to report,
            // with where the transfer stood.
            if (over() || o.error == transfer::Error::ModeLeft ||
                o.error == transfer::Error::Stopped)
                return;
            inTransfer_ = false;
            const bool damaged =
                o.error == transfer::Error::NotEdid || o.error == transfer::Error::BadChecksum;
            if (o.ok())
                succeeded();
            else if (damaged && readOnly())
                readInvalid(o);
            else
                // The answer that ended it is quoted: wait for the line to
                // be seen as the run's last.
                failAfterLine([this, o] { fail(problem(o)); });
        });
    }

protected:
    edid::EdidTransfer& transfer() { return c_.device.edid(); }
    int input() const { return c_.command.input; }
    virtual QString label() const = 0;
    virtual void succeeded() = 0;
    bool verifying() const { return phase_ == transfer::Phase::Verify; }

    void stopWork() override { transfer().end(); }

    QString progressText() const override {
        if (!inTransfer_)
            return {};
        return QStringLiteral("at %1%2").arg(byteText(qMax(0, at_)),
                                             verifying() ? QStringLiteral(" of the verify") : "");
    }

    // Why the transfer ended without success.
    QString problem(const transfer::Outcome& o) const {
        using E = transfer::Error;
        const QString phase =
            o.phase == transfer::Phase::Verify ? QStringLiteral("verify: ") : QString();
        const int at = qMax(0, o.index);
        switch (o.error) {
        case E::TimedOut:
            if (o.index < 0)
                return QStringLiteral("%1no answer to \"%2\" from %3 within %4")
                    .arg(phase,
                         edid::openCommand(input() - 1, o.phase != transfer::Phase::Download),
                         c_.port, answerTime(edid::EdidTransfer::kAnswerMs));
            return QStringLiteral("%1no answer for %2 from %3 within %4")
                .arg(phase, byteText(at), c_.port, answerTime(edid::EdidTransfer::kAnswerMs));
        case E::OutOfStep:
            return QStringLiteral("%1more answers came than bytes were asked for (an answer "
                                  "came twice)")
                .arg(phase);
        case E::DeviceError:
            if (o.phase == transfer::Phase::Download)
                return QStringLiteral("%1: the device answered \"%2\"")
                    .arg(byteText(at), o.lastLine);
            return QStringLiteral("%1%2: the device kept answering \"%3\"")
                .arg(phase, byteText(at), o.lastLine);
        case E::VerifyMismatch:
            return QStringLiteral("verify: %1 reads back %2, %3 was written")
                .arg(byteText(at), o.readBack ? hex2(*o.readBack) : QStringLiteral("nothing"),
                     o.written ? hex2(*o.written) : QStringLiteral("nothing"));
        case E::NotEdid:
            return QStringLiteral("the image of input %1 is no EDID (its header is not %2)")
                .arg(input())
                .arg(QLatin1String(edid::kHeaderText));
        case E::BadChecksum:
            return QStringLiteral("the image of input %1 fails its checksum").arg(input());
        case E::WriteFailed:
            return QStringLiteral("cannot write to %1").arg(c_.port);
        case E::ModeLeft:
        case E::Stopped:
        case E::None:
            break;
        }
        return QStringLiteral("the transfer stopped");
    }

    virtual bool readOnly() const { return true; }
    // A read that came whole but holds no valid EDID: a plain read saves it
    // all the same.
    virtual void readInvalid(const transfer::Outcome&) {}

    transfer::Phase phase_ = transfer::Phase::Read;
    int at_ = -1;
    bool inTransfer_ = false;
};

class EdidReadOperation : public EdidOperation {
public:
    explicit EdidReadOperation(const Context& context)
        : EdidOperation(context), file_(outputFile(context.command.file)) {}

    bool prepare() override { return openOutput(*file_); }

protected:
    QString label() const override { return QStringLiteral("edid read input %1").arg(input()); }

    void confirmed() override {
        transfer().prepare();
        transfer().choosePort(input() - 1);
        transfer().startRead();
    }

    void succeeded() override { save(true); }

    // The bytes the switcher holds are saved whatever they are: a damaged
    // image is the one most worth a copy.
    void readInvalid(const transfer::Outcome& o) override {
        c_.console.warning(QStringLiteral("edid read: %1; saved as read").arg(problem(o)));
        save(false);
    }

    void save(bool valid) {
        const edid::Image& image = transfer().image();
        const QByteArray bytes(reinterpret_cast<const char*>(image.data()), edid::kImageSize);
        QString reason;
        if (!file_->commit(bytes, &reason))
            return fail(QStringLiteral("cannot write %1: %2").arg(file_->name(), reason));
        if (c_.command.json) {
            const edid::DecodedEdid d = edid::decodeEdid(image);
            QJsonObject o{{"input", input()},
                          {"file", c_.command.file},
                          {"summary", d.summary},
                          {"valid", valid}};
            if (!valid)
                o.insert("findings", edid::decodedJson(d).value("findings"));
            c_.console.json(o);
        }
        finish(kDone);
    }

private:
    std::unique_ptr<files::OutputFile> file_;
};

// What the switcher holds is 256 bytes: the base block and one extension.
// Why the image of a file does not fit them, or empty when it does. Never
// cut silently: a cut three-block image would still announce its lost
// block.
QString sizeProblem(const files::EdidFile& f) {
    const qint64 size = f.imageSize();
    const QString bytes =
        (f.fromText ? QStringLiteral("its dump holds %1 bytes") : QStringLiteral("%1 bytes"))
            .arg(size);
    if (size < edid::kBlockSize)
        return QStringLiteral("%1 bytes: the file is short of the 128-byte base block").arg(size);
    const int extensions = f.bytes.size() > 126 ? quint8(f.bytes.at(126)) : 0;
    const QString announced = QStringLiteral("its base block announces %1 extension block%2")
                                  .arg(extensions)
                                  .arg(extensions == 1 ? "" : "s");
    if ((size == edid::kBlockSize && extensions == 0) ||
        (size == edid::kImageSize && extensions <= 1))
        return {};
    return bytes + QStringLiteral(" and ") + announced;
}

// Why edid write refuses the file; empty when it takes it.
QString downloadProblem(const QString& path, const files::EdidFile& f) {
    if (const QString why = files::imageProblem(path, f); !why.isEmpty())
        return why;
    if (const QString misfit = sizeProblem(f); !misfit.isEmpty())
        return QStringLiteral("%1: %2; edid write takes a 256-byte image or a 128-byte base block "
                              "that announces no extension")
            .arg(path, misfit);
    if (!edid::checksumOk(*f.image))
        return QStringLiteral("%1: a block's checksum is wrong").arg(path);
    return {};
}

class EdidWriteOperation : public EdidOperation {
public:
    using EdidOperation::EdidOperation;

    bool prepare() override {
        const QString& path = c_.command.file;
        const files::EdidFile f = files::readEdidFile(path);
        // The window lets the operator download an image it has warned
        // about; a script gets no warning to heed, so such an image is
        // refused before the device is touched.
        if (const QString why = downloadProblem(path, f); !why.isEmpty()) {
            fail(why + QStringLiteral("; nothing sent"));
            return false;
        }
        image_ = *f.image;
        return true;
    }

protected:
    QString label() const override {
        return QStringLiteral("edid %1 input %2")
            .arg(verifying() ? QStringLiteral("verify") : QStringLiteral("write"))
            .arg(input());
    }
    bool readOnly() const override { return false; }

    void confirmed() override {
        transfer().prepare();
        transfer().choosePort(input() - 1);
        transfer().startDownload(image_);
    }

    void succeeded() override {
        if (c_.command.json)
            c_.console.json({{"input", input()}, {"file", c_.command.file}, {"verified", true}});
        finish(kDone);
    }

private:
    edid::Image image_{};
};

// ---------------------------------------------------------------------------
// IR codes

class IrOperation : public ModeOperation {
public:
    explicit IrOperation(const Context& context) : ModeOperation(context, Mode::Ir) {
        ir::IrCodeRun& run = c_.device.irCodes();
        connect(&run, &ir::IrCodeRun::progress, this, [this](int done, int total) {
            if (!over())
                c_.console.progress(label(), done + 1, total);
        });
        // Queued: a write that passed its check ends before it sends the save,
        // which must go out before the exit word.
        connect(
            &run, &ir::IrCodeRun::finished, this,
            [this](const transfer::Outcome& o) {
                if (over() || o.error == transfer::Error::Stopped)
                    return;
                if (o.ok())
                    succeeded();
                else
                    fail(problem(o));
            },
            Qt::QueuedConnection);
    }

protected:
    ir::IrCodeRun& run() { return c_.device.irCodes(); }
    const ir::IrCodeRun& run() const { return c_.device.irCodes(); }
    virtual QString label() const = 0;
    virtual void succeeded() = 0;
    bool checking() const { return run().phase() == transfer::Phase::Check; }

    void stopWork() override { run().end(); }

    QString entryText(int entry) const {
        return QStringLiteral("entry %1%2")
            .arg(entry)
            .arg(checking() ? QStringLiteral(" of the check") : QString());
    }
    QString progressText() const override {
        return run().runInProgress() ? QStringLiteral("at ") + entryText(run().currentEntry())
                                     : QString();
    }

    QString problem(const transfer::Outcome& o) const {
        const int k = o.index;
        switch (o.error) {
        case transfer::Error::TimedOut:
            return QStringLiteral("no answer for %1 from %2 within %3")
                .arg(entryText(k), c_.port, answerTime(ir::IrCodeRun::kAnswerMs));
        case transfer::Error::VerifyMismatch:
            return QStringLiteral("check: entry %1 (line %2) reads back \"%3\", \"%4\" was "
                                  "written; nothing saved")
                .arg(k)
                .arg(k + 1)
                .arg(ir::replyCode(o.lastLine + QStringLiteral("\r"), 5), run().code(k));
        case transfer::Error::WriteFailed:
            return QStringLiteral("cannot write to %1").arg(c_.port);
        default:
            break;
        }
        return QStringLiteral("an answer came that no command waited for (an answer came "
                              "twice) at %1%2")
            .arg(entryText(k),
                 c_.command.verb == Verb::IrWrite ? QStringLiteral("; nothing saved") : "");
    }
};

class IrReadOperation : public IrOperation {
public:
    explicit IrReadOperation(const Context& context)
        : IrOperation(context), file_(outputFile(context.command.file)) {}

    bool prepare() override { return openOutput(*file_); }

protected:
    QString label() const override { return QStringLiteral("ir read"); }

    void confirmed() override {
        run().prepare();
        run().readCode();
    }

    void succeeded() override {
        QString reason;
        if (!file_->commit(irTableText(run().codes()), &reason))
            return fail(QStringLiteral("cannot write %1: %2").arg(file_->name(), reason));
        if (c_.command.json)
            c_.console.json(
                {{"file", c_.command.file}, {"codes", QJsonArray::fromStringList(run().codes())}});
        finish(kDone);
    }

private:
    std::unique_ptr<files::OutputFile> file_;
};

class IrWriteOperation : public IrOperation {
public:
    explicit IrWriteOperation(const Context& context) : IrOperation(context) {
        savTimer_ = oneShot(ir::IrCodeRun::kAnswerMs);
        connect(savTimer_, &platform::Timer::timeout, this, [this] {
            fail(
                QStringLiteral("no answer to \"%1\" from %2 within %3; the table was written "
                               "and checked")
                    .arg(protocol::irSaveCommand(), c_.port, answerTime(ir::IrCodeRun::kAnswerMs)));
        });
    }

    bool prepare() override {
        const QString& path = c_.command.file;
        const files::ReadResult r = files::readFile(path, kMaxIrTableSize);
        if (!r.ok()) {
            fail(files::readProblemText(path, r));
            return false;
        }
        const IrTable table = parseIrTable(r.bytes);
        QString error;
        error = table.error.isEmpty() ? irTableProblem(table.codes) : table.error;
        if (!error.isEmpty()) {
            fail(QStringLiteral("%1: %2; nothing sent").arg(path, error));
            return false;
        }
        codes_ = table.codes;
        return true;
    }

protected:
    QString label() const override {
        return checking() ? QStringLiteral("ir check") : QStringLiteral("ir write");
    }

    void confirmed() override {
        run().prepare();
        for (int k = 0; k < ir::kEntries; ++k)
            run().setCode(k, codes_[k]);
        // The window's own checks run again here; the table passed them
        // already.
        switch (run().writeCode()) {
        case ir::IrCodeRun::Check::FormatError:
            return fail(QStringLiteral("the table failed the checks: a code is not hexadecimal"));
        case ir::IrCodeRun::Check::Duplicate:
            return fail(QStringLiteral("the table failed the checks: two entries share a code"));
        case ir::IrCodeRun::Check::Passed:
            break;
        }
    }

    void succeeded() override {
        // The save has gone out; the device acknowledges it.
        connect(&c_.device.link(), &seriallink::Connection::lineReceived, this,
                [this](const QString& line) {
                    if (!keyword(line, "Ack") || over())
                        return;
                    if (c_.command.json)
                        c_.console.json({{"file", c_.command.file},
                                         {"entries", ir::kEntries},
                                         {"saved", true}});
                    finish(kDone);
                });
        savTimer_->start();
    }

    bool wrapUp() override {
        savTimer_->stop();
        return IrOperation::wrapUp();
    }

private:
    QStringList codes_;
    platform::Timer* savTimer_ = nullptr;
};

} // namespace

std::unique_ptr<Operation> makeTransferOperation(const Context& context) {
    switch (context.command.verb) {
    case Verb::EdidRead:
        return std::make_unique<EdidReadOperation>(context);
    case Verb::EdidWrite:
        return std::make_unique<EdidWriteOperation>(context);
    case Verb::IrRead:
        return std::make_unique<IrReadOperation>(context);
    default:
        return std::make_unique<IrWriteOperation>(context);
    }
}

} // namespace cli
