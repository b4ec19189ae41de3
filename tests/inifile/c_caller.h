#ifndef INIFILE_C_CALLER_H
#define INIFILE_C_CALLER_H

#ifdef __cplusplus
extern "C" {
#endif

/* Saves a one-entry document to path from C and reads its lines back:
 * 0 when all went as expected, else the number of the step that did not. */
int c_caller_save_and_read(const char *path);

#ifdef __cplusplus
}
#endif

#endif
