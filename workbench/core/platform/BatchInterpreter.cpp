#include "core/platform/BatchInterpreter.h"

#include "common/text/CommandWords.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTextStream>

#include <atomic>
#include <csignal>

namespace {

// The tool running now (0 between tools) and whether the interpreter was
// asked to stop; both are touched from a signal handler.
std::atomic<qint64> runningTool{0};
std::atomic<bool> stopRequested{false};

QString slashes(QString s)
{
    s.replace('\\', '/');
    return s;
}

} // namespace

BatchInterpreter::BatchInterpreter(QTextStream& out, QTextStream& err) : m_out(out), m_err(err) {}

QString BatchInterpreter::local(const QString& path) const
{
    return slashes(path);
}

QStringList BatchInterpreter::split(const QString& line)
{
    // The script's text as it came, in the local 8-bit encoding.
    std::vector<std::string> parts;
    CommandWords::split(line.toLocal8Bit().toStdString(), parts);
    QStringList words;
    for (const std::string& part : parts)
        words << QString::fromLocal8Bit(part.c_str(), int(part.size()));
    return words;
}

QString BatchInterpreter::resolveProgram(const QString& word)
{
    const QString path = slashes(word);
    if (QFileInfo(path).isFile())
        return path;
    if (path.endsWith(QLatin1String(".exe"), Qt::CaseInsensitive)) {
        const QString bare = path.left(path.size() - 4);
        if (QFileInfo(bare).isFile())
            return bare;
    }
    return QString();
}

QString BatchInterpreter::join(const QStringList& words)
{
    QStringList quoted;
    for (const QString& word : words)
        quoted << (word.contains(' ') || word.contains('\t') ? '"' + word + '"' : word);
    return quoted.join(' ');
}

int BatchInterpreter::stopAtLimit(const QString& why)
{
    if (m_limit.isEmpty()) {
        m_limit = why;
        m_err << why << "\n";
        m_err.flush();
    }
    return m_last = limitReached;
}

int BatchInterpreter::runScript(const QString& fileName)
{
    if (!m_limit.isEmpty())
        return m_last = limitReached;
    if (m_depth >= maxNesting)
        return stopAtLimit(
            QStringLiteral("Batch files are nested more than %1 deep; %2 is not run (does it call "
                           "itself?).")
                .arg(maxNesting)
                .arg(fileName));
    if (m_runs >= maxScriptRuns)
        return stopAtLimit(QStringLiteral("Batch files were started %1 times; %2 is not run.")
                               .arg(maxScriptRuns)
                               .arg(fileName));
    ++m_runs;
    QStringList lines;
    {
        // Closed before the lines run, so nesting holds no file open.
        QFile f(local(fileName));
        if (!f.open(QIODevice::ReadOnly)) {
            m_err << "The system cannot find the file " << fileName << ".\n";
            m_err.flush();
            return m_last = 1;
        }
        // Line by line with a bound, so a file of one endless line is not
        // read whole before it is refused.
        while (!f.atEnd()) {
            const QByteArray line = f.readLine(maxLineLength + 3);
            m_scriptBytes += line.size();
            if (!line.endsWith('\n') && !f.atEnd())
                return stopAtLimit(
                    QStringLiteral("The input line is too long: line %1 of %2 holds more than %3 "
                                   "characters.")
                        .arg(lines.size() + 1)
                        .arg(fileName)
                        .arg(maxLineLength));
            if (m_scriptBytes > maxScriptBytes)
                return stopAtLimit(
                    QStringLiteral("Batch files of more than %1 MB were read in all; %2 is not run.")
                        .arg(maxScriptBytes >> 20)
                        .arg(fileName));
            lines << QString::fromLocal8Bit(line);
        }
    }
    ++m_depth;
    const int result = runLines(lines);
    --m_depth;
    return result;
}

int BatchInterpreter::runLines(const QStringList& lines)
{
    for (const QString& line : lines) {
        if (stopRequested || !m_limit.isEmpty())
            break;
        runLine(line);
    }
    // The limit's line is the last word: nothing after it may hide it.
    if (!m_limit.isEmpty())
        return m_last = limitReached;
    // A called batch file ends with its own last code; the failure it met is
    // already noted for the outermost script, which ends with it.
    if (m_failedCode == 0 || m_depth > 1)
        return m_last;
    // The script's last lines (an ECHO, a clean-up) would hide the failure.
    if (!m_failedReason.isEmpty()) {
        m_err << m_failedReason << "\n";
        m_err.flush();
    }
    return m_failedCode;
}

void BatchInterpreter::noteFailure(int code, const QString& reason)
{
    if (code == 0 || m_failedCode != 0)
        return;
    m_failedCode = code;
    m_failedReason = reason;
}

void BatchInterpreter::requestStop(int signal)
{
    stopRequested = true;
#ifndef Q_OS_WIN
    const qint64 tool = runningTool;
    if (tool > 0)
        ::kill(pid_t(tool), signal);
#else
    Q_UNUSED(signal);
#endif
}

int BatchInterpreter::runLine(const QString& rawLine)
{
    if (!m_limit.isEmpty())
        return m_last = limitReached;
    QString line = rawLine;
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.size() > maxLineLength)
        return stopAtLimit(QStringLiteral("The input line is too long: it holds more than %1 characters.")
                               .arg(maxLineLength));
    line = line.trimmed();
    if (line.startsWith('@'))
        line = line.mid(1).trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1String("::"))
        || line.startsWith(QLatin1String("rem "), Qt::CaseInsensitive))
        return m_last;

    // Redirection: the last unquoted ">" or ">>" and the word after it.
    QString redirect;
    bool append = false;
    bool quoted = false;
    int at = -1;
    for (int i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == '>' && !quoted) {
            at = i;
            break;
        }
    }
    if (at >= 0) {
        append = at + 1 < line.size() && line[at + 1] == '>';
        const QStringList target = split(line.mid(at + (append ? 2 : 1)));
        redirect = target.isEmpty() ? QString() : local(target.first());
        line = line.left(at).trimmed();
    }
    return runWords(split(line), redirect, append);
}

int BatchInterpreter::runWords(QStringList words, const QString& redirect, bool append)
{
    // "cmd /c" and "if [not] exist X" only say whether and what runs next:
    // they are taken off in a loop (a line of thousands of them needs no
    // stack and no copy of the words per prefix), the command after them
    // runs below.
    int first = 0;
    while (first < words.size()) {
        const QString prefix = words[first].toLower();
        if (prefix == QLatin1String("cmd") || prefix == QLatin1String("cmd.exe")) {
            if (first + 1 < words.size() && words[first + 1].toLower() == QLatin1String("/c")) {
                first += 2;
                continue;
            }
            return m_last = 0;
        }
        if (prefix != QLatin1String("if"))
            break;
        const bool negate = first + 1 < words.size() && words[first + 1].toLower() == QLatin1String("not");
        const int k = first + (negate ? 2 : 1);
        if (words.size() < k + 3 || words[k].toLower() != QLatin1String("exist")) {
            m_err << "The syntax of the command is incorrect.\n";
            m_err.flush();
            return m_last = 1;
        }
        if (QFileInfo::exists(local(words[k + 1])) == negate)
            return m_last;
        first = k + 2;
    }
    if (first >= words.size())
        return m_last;
    if (first > 0)
        words.erase(words.begin(), words.begin() + first);
    const QString command = words.first().toLower();

    // Output of the built-in commands goes to the redirect file or to our stdout.
    QFile target;
    QTextStream redirected;
    QTextStream* out = &m_out;
    auto openTarget = [&]() -> bool {
        if (redirect.isEmpty())
            return true;
        target.setFileName(redirect);
        if (!target.open(QIODevice::WriteOnly | (append ? QIODevice::Append : QIODevice::Truncate))) {
            m_err << "The system cannot find the path specified: " << redirect << "\n";
            m_err.flush();
            return false;
        }
        redirected.setDevice(&target);
        out = &redirected;
        return true;
    };

    if (command == QLatin1String("echo") || command.startsWith(QLatin1String("echo."))) {
        if (!openTarget())
            return m_last = 1;
        const QString rest = words.mid(1).join(' ');
        const QString lower = rest.toLower();
        if (command == QLatin1String("echo") && (lower == QLatin1String("off") || lower == QLatin1String("on")))
            return m_last = 0; // commands are never echoed here
        *out << (command == QLatin1String("echo") ? rest : QString()) << "\n";
        out->flush();
        return m_last = 0;
    }
    if (command == QLatin1String("mkdir") || command == QLatin1String("md")) {
        int result = 0;
        for (const QString& dir : words.mid(1)) {
            const QString path = local(dir);
            if (QFileInfo::exists(path)) {
                m_err << "A subdirectory or file " << dir << " already exists.\n";
                result = 1;
            } else if (!QDir().mkpath(path)) {
                m_err << "The system cannot create the folder " << dir << ".\n";
                result = 1;
            }
        }
        m_err.flush();
        return m_last = result;
    }
    if (command == QLatin1String("rm") || command == QLatin1String("del")) {
        int result = 0;
        for (const QString& file : words.mid(1)) {
            if (file.startsWith('-') || (file.startsWith('/') && file.size() == 2))
                continue; // options
            if (!QFile::remove(local(file))) {
                m_err << "Could Not Find " << file << "\n";
                result = 1;
            }
        }
        m_err.flush();
        return m_last = result;
    }
    if (command == QLatin1String("type")) {
        if (!openTarget())
            return m_last = 1;
        int result = 0;
        for (const QString& file : words.mid(1)) {
            QFile in(local(file));
            if (!in.open(QIODevice::ReadOnly)) {
                m_err << "The system cannot find the file specified: " << file << "\n";
                result = 1;
                continue;
            }
            out->flush();
            if (target.isOpen()) {
                while (!in.atEnd())
                    target.write(in.read(1 << 20));
            } else {
                *out << QString::fromLocal8Bit(in.readAll());
            }
        }
        out->flush();
        m_err.flush();
        return m_last = result;
    }
    if (command == QLatin1String("cd") || command == QLatin1String("chdir")) {
        QStringList rest = words.mid(1);
        if (!rest.isEmpty() && rest.first().toLower() == QLatin1String("/d"))
            rest.removeFirst();
        if (rest.isEmpty()) {
            m_out << QDir::currentPath() << "\n";
            m_out.flush();
            return m_last = 0;
        }
        if (!QDir::setCurrent(local(rest.join(' ')))) {
            m_err << "The system cannot find the path specified.\n";
            m_err.flush();
            return m_last = 1;
        }
        return m_last = 0;
    }
    const QString program = resolveProgram(local(words.first()));
    if (program.isEmpty()) {
        m_err << "'" << words.first() << "' is not recognized as an internal or external command,\n"
              << "operable program or batch file.\n";
        m_err.flush();
        noteFailure(notFound, QStringLiteral("'%1' is not recognized as an internal or external command, "
                                             "operable program or batch file.")
                                  .arg(words.first()));
        return m_last = notFound;
    }
    QStringList args;
    for (const QString& w : words.mid(1))
        args << slashes(w);
    return m_last = runTool(program, args, redirect, append);
}

int BatchInterpreter::runTool(const QString& program, const QStringList& args, const QString& redirect,
                              bool append)
{
    m_out.flush();
    m_err.flush();
    if (program.endsWith(QLatin1String(".bat"), Qt::CaseInsensitive))
        return runScript(program);
    return startProcess(program, args, redirect, append);
}

int BatchInterpreter::startProcess(const QString& program, const QStringList& args, const QString& redirect,
                                   bool append)
{
    QProcess process;
    process.setProgram(program);
    process.setArguments(args);
    // Standard output goes straight through; the error output passes here so
    // that its last line can name the cause should the tool fail.
    if (!redirect.isEmpty())
        process.setStandardOutputFile(redirect, append ? QIODevice::Append : QIODevice::Truncate);
    else
        process.setProcessChannelMode(QProcess::ForwardedOutputChannel);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.setReadChannel(QProcess::StandardError);
    if (stopRequested)
        return 1;
    process.start();
    if (!process.waitForStarted(-1)) {
        const QString reason = QStringLiteral("Cannot start %1: %2").arg(program, process.errorString());
        m_err << reason << "\n";
        m_err.flush();
        noteFailure(notFound, reason);
        return notFound;
    }
    QString lastLine;
    const auto relay = [&] {
        const QString text = QString::fromLocal8Bit(process.readAllStandardError());
        if (text.isEmpty())
            return;
        m_err << text;
        m_err.flush();
        const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        for (auto it = lines.crbegin(); it != lines.crend(); ++it)
            if (!it->trimmed().isEmpty()) {
                lastLine = it->trimmed();
                break;
            }
    };
    runningTool = process.processId();
    // A stop that came while the tool was starting.
    if (stopRequested)
        requestStop(SIGTERM);
    while (process.waitForReadyRead(-1))
        relay();
    process.waitForFinished(-1);
    runningTool = 0;
    relay();
    const QString name = QFileInfo(program).fileName();
    if (process.exitStatus() != QProcess::NormalExit) {
        noteFailure(1, lastLine.isEmpty() ? QStringLiteral("%1 crashed").arg(name) : lastLine);
        return 1;
    }
    const int code = process.exitCode();
    noteFailure(code, lastLine.isEmpty() ? QStringLiteral("%1 ended with exit code %2").arg(name).arg(code)
                                         : lastLine);
    return code;
}
