#pragma once

#include <QByteArray>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <clocale>
#include <memory>

// Installs a locale whose decimal separator is a comma for the life of the
// object, as a user in Germany or France would run the program. Machines
// without such a locale get one built from the glibc sources when localedef
// is there; active() says whether it worked.
class CommaLocale
{
public:
    CommaLocale()
    {
        m_previous = std::setlocale(LC_ALL, nullptr);
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "de_DE"}) {
            if (std::setlocale(LC_ALL, name) && isComma())
                return;
        }
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty())
            return;
        m_dir = std::make_unique<QTemporaryDir>();
        const QString target = m_dir->path() + QStringLiteral("/de_DE.UTF-8");
        if (QProcess::execute(localedef, {QStringLiteral("-i"), QStringLiteral("de_DE"), QStringLiteral("-f"),
                                          QStringLiteral("UTF-8"), target})
            > 1) // 1 means "built with warnings"
            return;
        m_oldLocPath = qgetenv("LOCPATH");
        m_setLocPath = true;
        qputenv("LOCPATH", m_dir->path().toLocal8Bit());
        std::setlocale(LC_ALL, "de_DE.UTF-8");
    }

    ~CommaLocale()
    {
        std::setlocale(LC_ALL, m_previous.constData());
        if (m_setLocPath) {
            if (m_oldLocPath.isEmpty())
                qunsetenv("LOCPATH");
            else
                qputenv("LOCPATH", m_oldLocPath);
        }
    }

    bool active() const { return isComma(); }

private:
    static bool isComma()
    {
        const std::lconv* conv = std::localeconv();
        return conv && conv->decimal_point && conv->decimal_point[0] == ',';
    }

    QByteArray m_previous;
    QByteArray m_oldLocPath;
    bool m_setLocPath = false;
    std::unique_ptr<QTemporaryDir> m_dir;
};
