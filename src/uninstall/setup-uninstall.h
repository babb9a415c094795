/* setup-uninstall.h: the uninstaller for programs installed by setup.exe.
 *
 * A program calls one of the two functions when its command line is "-u"
 * (the command of its uninstall entry) and then ends at once, returning the
 * result as its exit code:
 *
 *     if (isUninstallArgument) return setupUninstall();
 *
 * The call finds setup-uninstall.ini (written by setup-pack) in the
 * program's folder or a folder above it, starts the removal from a small
 * helper program that it writes into a new folder of its own in the user's
 * temp folder, and waits until the helper has asked the user and removed
 * everything but the files of the running program. The helper removes those
 * once the program has ended, then the install folder if nothing else is
 * left in it, and shows the outcome.
 *
 * The removal needs administrator rights (the install wrote the program
 * folder and the machine's registry). The helper asks for them: a program
 * that runs without them (the usual case) gets the system's administrator
 * prompt when it calls; one that has them (started elevated, or by a
 * deployment tool as the system) starts the helper directly. The program
 * itself needs no manifest entry for this.
 *
 * Link with libsetup-uninstall.a (i686 mingw-w64, C or C++; no C++ runtime,
 * no exceptions; kernel32 and advapi32 are used, which the mingw-w64
 * compilers link by default; shell32 and user32 are loaded from the system
 * folder when the prompt is needed). The helper it writes imports system
 * DLLs only.
 */
#ifndef SETUP_UNINSTALL_H
#define SETUP_UNINSTALL_H

#ifdef __cplusplus
extern "C" {
#endif

/* Results, also the exit codes of setup-uninstall.exe. */
#define SETUP_UNINSTALL_REMOVED     0 /* everything the install made is removed (the program's own
                                         files as soon as it ends) */
#define SETUP_UNINSTALL_FOLDER_KEPT 1 /* removed; the install folder stays because it holds files
                                         the install did not put there (the user's, the program's) */
#define SETUP_UNINSTALL_NOTHING     2 /* nothing of this install was left to remove */
#define SETUP_UNINSTALL_CANCELLED   3 /* the user answered No, or refused the administrator
                                         prompt (quiet too): nothing was removed */
#define SETUP_UNINSTALL_INCOMPLETE  4 /* something could not be removed; "-u" again finishes */
#define SETUP_UNINSTALL_FAILED      5 /* the uninstaller could not run: no setup-uninstall.ini
                                         beside the program, or the helper could not start */

/* Asks the user (in the language the installer chose), removes, reports. */
int setupUninstall(void);

/* The same without any window: the result says what happened. */
int setupUninstallQuiet(void);

#ifdef __cplusplus
}
#endif

#endif
