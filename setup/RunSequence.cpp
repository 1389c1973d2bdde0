#include "setup/RunSequence.h"

#include "setup/InstallSequence.h"
#include "setup/UninstallSequence.h"

void RunSequence(SequenceKind kind, const SequenceContext& context) {
    if (kind == SequenceKind::Install) {
        InstallSequence(context).Run();
    } else {
        UninstallSequence(context).Run();
    }
}
