#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>

class QLineEdit;

// Why an address text was refused.
struct IpError {
    int number = 0;
    QString description;
};

// A four-field IPv4 address editor. Each field takes 0 to 255; "." or a
// third digit moves on to the next field, Backspace in an empty field (or at
// its start) goes back to the previous one, and the arrow keys cross field
// borders.
//
// Address reads the fields as dotted decimal, without leading zeros; a blank
// field reads as 0. setAddress writes a dotted text and answers the error
// instead of raising it:
//   - fewer than three dots: error 102, kFormatError;
//   - one of the first four parts empty, not a decimal number or above 255:
//     error 103, "Ip 地址格式错误" CR LF and which part is wrong.
// On an error the fields keep the address they showed. Parts after the
// fourth are ignored.
class ipBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Address READ Address)
public:
    static constexpr int kTooFewDots = 102;
    static constexpr int kBadPart = 103;
    static inline const QString kFormatError =
        QStringLiteral("Ip 地址格式错误\r\n正确的格式应该为: 255.255.255.255");

    explicit ipBox(QWidget* parent = nullptr);

    QString Address() const;
    std::optional<IpError> setAddress(const QString& NewIP);

    // How many UTF-16LE bytes of the text equal the character code of nChar;
    // for ASCII text, how often the character occurs.
    static std::int16_t CountIF(const QString& lzExpr, QChar nChar);

    QLineEdit* field(int i) const { return fields_[i]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void focusField(int i, bool atEnd);
    int indexOf(QObject* o) const;

    std::array<QLineEdit*, 4> fields_{};
};
