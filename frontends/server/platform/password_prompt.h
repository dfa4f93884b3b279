#pragma once

#include "frontends/server/account_command.h"

namespace server {

// Passwords from standard input: at a terminal, asked on standard error
// and typed without echo; otherwise the lines a script pipes in.
class StandardInputPasswords final : public PasswordSource {
public:
    bool interactive() const override;
    std::optional<QByteArray> readLine(const QString& prompt) override;
};

} // namespace server
