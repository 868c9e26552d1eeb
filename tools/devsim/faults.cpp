#include "faults.h"

namespace devsim {

namespace {

constexpr unsigned bit(Command command)
{
    return 1u << unsigned(command);
}

constexpr unsigned kAllCommands = bit(Command::ReadParameters) | bit(Command::WriteParameters)
                                  | bit(Command::ReadCounter) | bit(Command::WriteCounter);

struct KindName
{
    FaultKind kind;
    const char *name;
};

constexpr KindName kKinds[] = {
    {FaultKind::Silent, "silent"},   {FaultKind::Pieces, "pieces"},
    {FaultKind::BadCrc, "badcrc"},   {FaultKind::Error, "error"},
    {FaultKind::Garbage, "garbage"}, {FaultKind::Hangup, "hangup"},
    {FaultKind::Bytewise, "bytewise"}, {FaultKind::Late, "late"},
    {FaultKind::Padded, "padded"},   {FaultKind::Indented, "indented"},
    {FaultKind::Echo, "echo"},       {FaultKind::Other, "other"},
};

bool commandFromName(const QString &name, Command *command)
{
    const QString upper = name.trimmed().toUpper();
    if (upper == QLatin1String("LP"))
        *command = Command::ReadParameters;
    else if (upper == QLatin1String("SP"))
        *command = Command::WriteParameters;
    else if (upper == QLatin1String("L_ZLW"))
        *command = Command::ReadCounter;
    else if (upper == QLatin1String("S_ZLW"))
        *command = Command::WriteCounter;
    else
        return false;
    return true;
}

} // namespace

QString commandName(Command command)
{
    switch (command) {
    case Command::ReadParameters: return QStringLiteral("LP");
    case Command::WriteParameters: return QStringLiteral("SP");
    case Command::ReadCounter: return QStringLiteral("L_ZLW");
    case Command::WriteCounter: return QStringLiteral("S_ZLW");
    }
    return {};
}

QStringList FaultEffects::names() const
{
    QStringList list;
    if (silent) list << QStringLiteral("silent");
    if (pieces) list << QStringLiteral("pieces");
    if (badCrc) list << QStringLiteral("badcrc");
    if (error) list << QStringLiteral("error");
    if (garbage) list << QStringLiteral("garbage");
    if (hangup) list << QStringLiteral("hangup");
    if (bytewise) list << QStringLiteral("bytewise");
    if (late) list << QStringLiteral("late");
    if (padded) list << QStringLiteral("padded");
    if (indented) list << QStringLiteral("indented");
    if (echo) list << QStringLiteral("echo");
    if (other) list << QStringLiteral("other");
    return list;
}

QString FaultSet::kindNames()
{
    QStringList names;
    for (const KindName &k : kKinds)
        names << QLatin1String(k.name);
    return names.join(QLatin1String(", "));
}

bool FaultSet::add(const QString &description, bool once, QString *error)
{
    const int equals = description.indexOf(QLatin1Char('='));
    const QString kindName = (equals < 0 ? description : description.left(equals)).trimmed().toLower();
    const KindName *found = nullptr;
    for (const KindName &k : kKinds) {
        if (kindName == QLatin1String(k.name))
            found = &k;
    }
    if (!found) {
        if (error)
            *error = QStringLiteral("unknown fault \"%1\" (known: %2)").arg(kindName, kindNames());
        return false;
    }
    unsigned commands = kAllCommands;
    if (equals >= 0) {
        commands = 0;
        for (const QString &name : description.mid(equals + 1).split(QLatin1Char(','))) {
            Command command;
            if (!commandFromName(name, &command)) {
                if (error)
                    *error = QStringLiteral("unknown command \"%1\" (known: LP, SP, L_ZLW, S_ZLW)").arg(name);
                return false;
            }
            commands |= bit(command);
        }
    }
    m_faults.append({found->kind, commands, once});
    return true;
}

FaultEffects FaultSet::take(Command command)
{
    FaultEffects effects;
    for (auto it = m_faults.begin(); it != m_faults.end();) {
        if (!(it->commands & bit(command))) {
            ++it;
            continue;
        }
        switch (it->kind) {
        case FaultKind::Silent: effects.silent = true; break;
        case FaultKind::Pieces: effects.pieces = true; break;
        case FaultKind::BadCrc: effects.badCrc = true; break;
        case FaultKind::Error: effects.error = true; break;
        case FaultKind::Garbage: effects.garbage = true; break;
        case FaultKind::Hangup: effects.hangup = true; break;
        case FaultKind::Bytewise: effects.bytewise = true; break;
        case FaultKind::Late: effects.late = true; break;
        case FaultKind::Padded: effects.padded = true; break;
        case FaultKind::Indented: effects.indented = true; break;
        case FaultKind::Echo: effects.echo = true; break;
        case FaultKind::Other: effects.other = true; break;
        }
        if (it->once)
            it = m_faults.erase(it);
        else
            ++it;
    }
    return effects;
}

} // namespace devsim
