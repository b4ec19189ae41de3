// One step of the plan carried out: a file copied, or qvl.ini written.
#include "installer.h"
#include "messages.h"

int carry_out(const PlanStep *step, const InstallPlan *plan, size_t boot_choice, Failure *failure)
{
    const LaidOutFile *file = step->file;
    if (file->files == CHOSEN_BOOT_FILE && step->choice != boot_choice)
        return 1;
    PlatformError error;
    // Without bin no copy can be made into it: the first one says why.
    if (step->makes_folder && !platform_create_directory(plan->folders[FOLDER_ROOT_BIN], &error))
        return fail(failure, &error, MSG_BAILING_OUT, MSG_COPY_FAILED, step->source,
                    step->destination);
    if (file->making == WRITTEN)
        return write_launcher_configuration(plan, step, failure);
    switch (platform_copy_file(step->source, step->destination, &error)) {
    case PLATFORM_COPY_DONE:
        return 1;
    case PLATFORM_COPY_IN_USE:
        if (file->failure == FAILURE_WARNS_IN_USE) {
            fail(failure, &error, MSG_CONTINUING, MSG_COPY_FAILED, step->source, step->destination);
            return 1;
        }
        break;
    case PLATFORM_COPY_FAILED:
        break;
    }
    return fail(failure, &error, MSG_BAILING_OUT, MSG_COPY_FAILED, step->source, step->destination);
}
