#include "portdiagnosis.h"

namespace tavik7 {

namespace {

// Serial devices belong to this group on Debian and most distributions.
constexpr char kUsualSerialGroup[] = "dialout";

} // namespace

PortOpenFailure classifyPortOpenFailure(PortOpenError error, bool deviceFileAccessible, HostSystem system)
{
    switch (error) {
    case PortOpenError::Permission:
        if (system == HostSystem::Windows || deviceFileAccessible)
            return PortOpenFailure::Busy;
        return PortOpenFailure::PermissionDenied;
    case PortOpenError::NotFound:
        return PortOpenFailure::NotFound;
    case PortOpenError::Other:
        break;
    }
    return PortOpenFailure::Other;
}

ConsoleEntry portOpenFailureNote(PortOpenFailure failure, const PortOpenContext &context)
{
    switch (failure) {
    case PortOpenFailure::PermissionDenied: {
        if (context.system == HostSystem::Windows)
            return MessageId::NotePortBusy;
        const QString group = context.deviceGroup.isEmpty() ? QString::fromLatin1(kUsualSerialGroup)
                                                             : context.deviceGroup;
        const QString user = context.userName.isEmpty() ? QStringLiteral("$USER") : context.userName;
        return {context.groupGrantsAccess ? MessageId::NotePortNotInGroup : MessageId::NotePortOwnerOnly,
                {group, user}};
    }
    case PortOpenFailure::Busy:
        return MessageId::NotePortBusy;
    case PortOpenFailure::NotFound:
        return MessageId::NotePortGone;
    case PortOpenFailure::Other:
        break;
    }
    return MessageId::None;
}

QString portOpenFailureHint(PortOpenFailure failure, const PortOpenContext &context, int language)
{
    const ConsoleEntry note = portOpenFailureNote(failure, context);
    return note.id == MessageId::None ? QString() : renderEntry(note, language);
}

} // namespace tavik7
