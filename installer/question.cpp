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

int answer_is_yes(const char *answer)
{
    return platform_stricmp(answer, "yes") == 0 || platform_stricmp(answer, "y") == 0;
}

void ask_startup_question(InstallerState *state)
{
    if (state->silent)
        return;
    state->velmar = 1;
    fputs(MSG_QUESTION, stdout);
    fflush(stdout);
    if (!read_answer(stdin, state->answer))
        installer_fail(MSG_NO_ANSWER);
    if (answer_is_yes(state->answer))
        state->velmar = 0;
}

int waits_before_closing(int console_processes, int silent, int input_is_console)
{
    return console_processes == 1 && !silent && input_is_console;
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
