#pragma once

#include "core/network/ip_address.h"

#include <QString>
#include <QWidget>
#include <array>
#include <optional>

class QLineEdit;

using network::IpError;

// A four-field IPv4 address editor. Each field takes 0 to 255; "." or a
// third digit moves on to the next field, Backspace in an empty field (or at
// its start) goes back to the previous one, and the arrow keys cross field
// borders.
//
// Address reads the fields as dotted decimal, without leading zeros; a blank
// field reads as 0. setAddress writes a dotted text and answers the error
// instead of raising it (network::parseAddress says which); on an error the
// fields keep the address they showed.
class ipBox : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString Address READ Address)
public:
    explicit ipBox(QWidget* parent = nullptr);

    QString Address() const;
    std::optional<IpError> setAddress(const QString& NewIP);

    QLineEdit* field(int i) const { return fields_[i]; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void nameAddress();
    void focusField(int i, bool atEnd);
    int indexOf(QObject* o) const;

    std::array<QLineEdit*, 4> fields_{};
    bool naming_ = true;
};
