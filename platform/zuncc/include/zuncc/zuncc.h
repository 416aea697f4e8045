/* The password-policy module libzuncc: a password manager made by name,
 * asked to judge new certificate passwords and to explain its rules.
 *
 * The program opens the module with dlopen and looks up the three
 * functions below by name. The manager is an object whose table holds the
 * five operations at fixed slots, with reserved slots between them that
 * callers never call; this header is that layout, shared by the module and
 * the program. Texts a manager returns are EUC-KR, owned by it and valid
 * until its next call; callers copy them at once.
 *
 * Our module (platform/zuncc) and its rule are documented in README.md
 * beside it. */
#ifndef ZUNCC_ZUNCC_H
#define ZUNCC_ZUNCC_H

#ifdef __cplusplus

class zunccPasswordManager {
public:
    /* Slot 0: the current message (after a refused password, the reason),
     * or NULL. */
    virtual const char* GetMessage() = 0;
    /* Slot 1: reserved. */
    virtual void Reserved1() = 0;
    /* Slot 2: a property by name ("coreModulePath", "YessignCertPasswordPolicy",
     * "language", "setProcessName", "CertPasswordPolicy"). */
    virtual void SetProperty(const char* name, const char* value) = 0;
    /* Slot 3: reserved. */
    virtual void Reserved3() = 0;
    /* Slot 4: the data of the password's use: the CA name for an issue, the
     * certificate's PEM for a password change. */
    virtual void SetData(const char* data, int length) = 0;
    /* Slot 5: true when the password is acceptable. */
    virtual bool CheckPassword(const char* password) = 0;
    /* Slot 6: reserved. */
    virtual void Reserved6() = 0;
    /* Slot 7: the text of the rules, or NULL. */
    virtual const char* GetGuideText() = 0;

protected:
    /* Released with zunccClean only. */
    ~zunccPasswordManager() = default;
};

extern "C" {
#else
typedef struct zunccPasswordManager zunccPasswordManager;
#endif

/* A new manager for name ("zunccManagePassword"), or NULL. */
zunccPasswordManager* zunccFactory(const char* name, const char* domain);
/* Releases one manager. */
void zunccClean(zunccPasswordManager* manager);
/* Releases the module's global state; called before the module is closed. */
void zunccAllClean(void);

typedef zunccPasswordManager* (*zunccFactoryFn)(const char* name, const char* domain);
typedef void (*zunccCleanFn)(zunccPasswordManager* manager);
typedef void (*zunccAllCleanFn)(void);

#ifdef __cplusplus
}
#endif

#endif
