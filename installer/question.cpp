// The start-up question: minimal start-up or the velmar one.
#include "installer.h"
#include "messages.h"

#include <string.h>

int read_answer(FILE *input, char answer[ANSWER_BUFFER_SIZE])
{
    if (fgets(answer, ANSWER_BUFFER_SIZE, input) == NULL)
        return 0;
    char *line_feed = strchr(answer, '\n');
    if (line_feed != NULL) {
        *line_feed = '\0';
    } else {
        // The rest of an overlong line must not be taken for a later answer.
        int c;
        do
            c = fgetc(input);
        while (c != EOF && c != '\n');
    }
    char *carriage_return = strchr(answer, '\r');
    if (carriage_return != NULL)
        *carriage_return = '\0';
    return 1;
}

size_t boot_choice_for(const char *answer)
{
    size_t any_other = 0;
    for (size_t choice = 0; choice < BOOT_CHOICE_COUNT; ++choice) {
        const char *const *answers = BOOT_CHOICES[choice].answers;
        if (answers[0] == nullptr)
            any_other = choice;
        for (size_t i = 0; i < 2 && answers[i] != nullptr; ++i) {
            if (platform_stricmp(answer, answers[i]) == 0)
                return choice;
        }
    }
    return any_other;
}

int ask_startup_question(InstallerState *state, Failure *failure)
{
    state->boot_choice = SILENT_BOOT_CHOICE;
    if (state->silent)
        return 1;
    fputs(MSG_QUESTION, stdout);
    fflush(stdout);
    if (!read_answer(stdin, state->answer))
        return fail(failure, NULL, NULL, MSG_NO_ANSWER);
    state->boot_choice = boot_choice_for(state->answer);
    return 1;
}

int waits_before_closing(int console_processes, int silent, int console_streams)
{
    return console_processes == 1 && !silent && console_streams == PLATFORM_CONSOLE_ALL;
}

void wait_for_enter(void)
{
    fputs(MSG_PRESS_ENTER, stdout);
    fflush(stdout);
    int c;
    do
        c = getchar();
    while (c != EOF && c != '\n');
}
