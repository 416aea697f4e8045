/*
 * A smart-card reader on a serial device and the card behind it: the
 * reader's frames (STX, length, command or status, data, ETX, check byte,
 * answered by ACK or NAK), ISO 7816-4 APDUs and the card maker's HY commands,
 * the card's EF and F3 file layouts, the PIN, a DES session, and
 * VCL_Load_Smart_Key, which reads a key and certificate from a card and
 * checks that they belong together.
 *
 * Ports are indexes 0-2 of the reader table Pcs; any other gives
 * VCL_SC_ERR_ARGUMENT. Results: 0 or a length on success, a negative number
 * (VCL_SC_ERR_, or -E for the reader's error number E) on failure.
 *
 * Every answer is bounded: by Le (an APDU's data at most Le bytes, 256 for
 * Le 0), by the caller's room where it is given, and by the sizes below. A
 * device that stays silent or sends only noise fails after three timed-out
 * reads (5 seconds each) or VCL_SC_MAX_NOISE skipped bytes.
 */
#ifndef ZUNCORE_SMARTCARD_H
#define ZUNCORE_SMARTCARD_H

#include <zunCore/core_export.h>

/* ---- Reader numbers ------------------------------------------------------ */
#define VCL_SC_ERR_TCGETATTR (-611)
#define VCL_SC_ERR_TCSETATTR (-612)
#define VCL_SC_ERR_NO_ACK (-631)
#define VCL_SC_ERR_FRAME (-634) /* no ETX, or a frame or answer longer than asked */
#define VCL_SC_ERR_CHECK (-635)
#define VCL_SC_ERR_ARGUMENT (-637)
#define VCL_SC_ERR_READ (-644)
#define VCL_SC_ERR_SELECT (-672)
#define VCL_SC_ERR_PIN (-673)
#define VCL_SC_ERR_SECURITY (-674) /* security status not satisfied, or PIN not verified */
#define VCL_SC_ERR_READ_REFUSED (-680)
#define VCL_SC_ERR_WRITE_REFUSED (-681)

/* ---- Sizes --------------------------------------------------------------- */
#define VCL_SC_PORTS 3
#define VCL_SC_MAX_ATR 33          /* ISO 7816-3 */
#define VCL_SC_ATR_HEX_SIZE 67     /* the ATR as hex text and a NUL */
#define VCL_SC_MAX_TERMINAL_ID 64  /* VCL_GetTerminalIdCmd's out holds 65 bytes */
#define VCL_SC_MAX_STATE 16        /* VCL_CheckCardInOutCmd's out holds 16 bytes */
#define VCL_SC_PTS_HEX_SIZE 13     /* VCL_RequestPTSCmd's out: 12 hex characters and a NUL */
#define VCL_SC_MAX_LC 255          /* Lc and Le are one byte each in the APDU */
#define VCL_SC_MAX_ITEM 8192       /* a length-prefixed item (key, certificate) */
#define VCL_SC_MAX_HEX_TEXT 1024   /* VCL_hex2bin keeps at most this many characters ... */
#define VCL_SC_MAX_HEX_BYTES 512   /* ... so its out holds 513 bytes */
#define VCL_SC_MAX_NOISE 1024      /* bytes skipped before STX */
#define VCL_SC_MAX_FRAME_DATA 2048 /* data bytes of a frame either way */

/* The reader table: per port the device's descriptor (-1 when free), the
 * powered flag, the PIN-verified flag and the selected file (0 none; an EF
 * as 0xEF00 | n, an F3 file as 0xF300 | n, a dedicated file as its number
 * 0x3000 + n). Power on and off clear the flags and the selection. */
typedef struct VCL_SC_PORT {
    int fd;
    int powered;
    int pin_verified;
    int selected;
} VCL_SC_PORT;

VCL_BEGIN_DECLS

VCL_API extern VCL_SC_PORT Pcs[VCL_SC_PORTS];

/* ---- Reader layer ------------------------------------------------------- */
/* Opens the device (raw, 38400 baud, reads time out after 5 s): the port;
 * -1 for a NULL path or an open failure; -611, -612. A port in use is closed
 * first. */
VCL_API int VCL_InitializeDevice(int port, const char* path);
/* Closes the device and frees the entry: close's result. */
VCL_API int VCL_ExitDevice(int port);
/* Command 3: the identifier (at most VCL_SC_MAX_TERMINAL_ID bytes) into out,
 * NUL-terminated; its length. */
VCL_API int VCL_GetTerminalIdCmd(int port, char* out);
/* Command 'C': the card state (at most VCL_SC_MAX_STATE bytes); its length. */
VCL_API int VCL_CheckCardInOutCmd(int port, unsigned char* out);
/* Power on: the ATR (at most VCL_SC_MAX_ATR bytes) as upper-case hex into
 * out (VCL_SC_ATR_HEX_SIZE bytes); the hex length. */
VCL_API int VCL_PowerOnCmd(int port, char* out);
VCL_API int VCL_PowerOffCmd(int port);
/* A PTS request of 8 to 12 hex characters beginning with FF; the answer
 * must repeat it (else -1) and is handed out as hex (VCL_SC_PTS_HEX_SIZE). */
VCL_API int VCL_RequestPTSCmd(int port, const char* hex, char* out);
/* One APDU: header (CLA INS P1 P2), Lc (0-255) bytes of data, Le (0-255).
 * The answer (data, then SW1 SW2) into out, which holds Le + 2 bytes (258
 * for Le 0: a card may answer up to 256 bytes then); its length. */
VCL_API int VCL_ISOCmd(int port, const unsigned char* header, int lc, const unsigned char* data, int le,
                       unsigned char* out);

/* Frames: send (-631 without ACK), receive into buf of room bytes (the two
 * length bytes, the status byte and the data; returns length + 2), and the
 * exchange (the answer after the status byte into out of room bytes; its
 * length; -E for a reader error E). */
VCL_API int sc_reader_send_frame(int port, int command, const unsigned char* data, int len);
VCL_API int sc_reader_recv_frame(int port, unsigned char* buf, int room);
VCL_API int sc_reader_transceive(int port, int command, const unsigned char* data, int len, unsigned char* out,
                                 int room);

/* ---- APDUs -------------------------------------------------------------- */
/* Without command data (Lc 0) and with it. out as for VCL_ISOCmd. */
VCL_API int sc_apdu_case2(int port, int cla, int ins, int p1, int p2, int le, unsigned char* out);
VCL_API int sc_apdu_case34(int port, int cla, int ins, int p1, int p2, int lc, const unsigned char* data, int le,
                           unsigned char* out);

VCL_API int ISOReadBinary(int port, int cla, int p1, int p2, int le, unsigned char* out);
VCL_API int ISOWriteBinary(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOUpdateBinary(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOEraseBinary(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOReadRecord(int port, int cla, int p1, int p2, int le, unsigned char* out);
VCL_API int ISOWriteRecord(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOAppendRecord(int port, int cla, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOUpdateRecord(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOGetData(int port, int cla, int p1, int p2, int le, unsigned char* out);
VCL_API int ISOPutData(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOSelectFile(int port, int cla, int p1, int p2, int lc, const unsigned char* data, int le,
                          unsigned char* out);
VCL_API int ISOVerify(int port, int cla, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOInternAuthen(int port, int cla, int p1, int p2, int lc, const unsigned char* data, int le,
                            unsigned char* out);
VCL_API int ISOExternAuthen(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int ISOGetChallenge(int port, int cla, int le, unsigned char* out);
VCL_API int ISOManageChannel(int port, int cla, int p1, int p2, int le, unsigned char* out);
VCL_API int ISOGetResponse(int port, int cla, int le, unsigned char* out);
VCL_API int ISOEnvelope(int port, int cla, int lc, const unsigned char* data, int le, unsigned char* out);
VCL_API int HYCreateFile(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int HYSetLifeCycle(int port, int p1, unsigned char* out);
VCL_API int HYCreateSession(int port, int key_number, int lc, const unsigned char* data, int le, unsigned char* out);
VCL_API int HYLockUnlock(int port, int p1, unsigned char* out);
VCL_API int HYPutKey(int port, int cla, int p1, int p2, int lc, const unsigned char* data, unsigned char* out);
VCL_API int HYCredit(int port, int cla, int p1, int lc, const unsigned char* data, int le, unsigned char* out);
VCL_API int HYDebit(int port, int cla, int p1, int lc, const unsigned char* data, int le, unsigned char* out);
VCL_API int HYReadBalance(int port, int cla, int p1, int p2, unsigned char* out);
VCL_API int HYSign(int port, int p2, int le, unsigned char* out);

/* ---- Card files --------------------------------------------------------- */
/* SELECT of EF 0xEF n (skipped when that EF is the selection), of 0xF3 n,
 * and of the dedicated file D4 10 65 09 90 and the number's two bytes. 0, a
 * reader error, or -672. */
VCL_API int sc_select_ef(int port, int n);
VCL_API int sc_select_f3(int port, int n);
VCL_API int sc_select_df(int port, int number);
/* count bytes of EF n from offset into out (count + 1 bytes, NUL-terminated):
 * 0; -1 not powered; -674 PIN needed; -680 refused or short. */
VCL_API int VCL_ReadEF(int port, int n, int offset, int count, unsigned char* out);
/* count bytes of F3 item n from skip (the item's first two bytes are its
 * length T, at most VCL_SC_MAX_ITEM) into out (count + 1 bytes); an item
 * with T 0 reads as empty. 0; -1; -674; -680 (a record of length 0, past
 * its answer or past T, or T too large); -637 when skip + count passes the
 * item. */
VCL_API int VCL_ReadF3(int port, int n, int skip, int count, unsigned char* out);
/* count bytes to EF n at offset: 0; -1; -674; -681. */
VCL_API int VCL_WriteEF(int port, int n, int offset, const unsigned char* data, int count);
/* PIN of 6 to 8 characters (else -1, before any command): 0 or -673. */
VCL_API int VCL_VerifyPIN(int port, const char* pin);
/* The session key (8 bytes) of a HY CREATE SESSION under card key number
 * key_number and its 8-byte key: 0 or -1. */
VCL_API int VCL_MakeSession(int port, int key_number, const unsigned char* card_key, unsigned char* session_key);
/* GET CHALLENGE and EXTERNAL AUTHENTICATE; out (2 bytes) gets SW1 SW2: 0 or -1. */
VCL_API int VCL_ExAuthen(int port, int key_number, const unsigned char* card_key, const unsigned char* session_key,
                         unsigned char* out);
/* A new PIN of 6 to 8 characters after a session with card key 3: 0 or -1. */
VCL_API int ChangePIN(int port, const char* new_pin);

/* Length-prefixed items (2-byte length, then the item): the item into out
 * of size bytes (with a NUL); its length, or the read's error (-637 when it
 * does not fit, -680 for a stored length past VCL_SC_MAX_ITEM). The writers
 * take 1 to VCL_SC_MAX_ITEM bytes. */
VCL_API int EF_ReadSignPrivKey(int port, unsigned char* out, int size);
VCL_API int EF_ReadCert(int port, unsigned char* out, int size);
VCL_API int F3_ReadSignPrivKey(int port, unsigned char* out, int size);
VCL_API int F3_ReadCert(int port, unsigned char* out, int size);
VCL_API int EF_UpdateSignPrivKey(int port, const unsigned char* data, int len);
VCL_API int EF_UpdateCert(int port, const unsigned char* data, int len);
/* Fixed-size files: hashes 40 bytes, free data 100, 500, 1000, 1000 bytes;
 * out holds the size and a NUL. 0 or the read's or write's error. */
VCL_API int EF_ReadSignPrivKeyHash(int port, unsigned char* out);
VCL_API int EF_UpdateSignPrivKeyHash(int port, const unsigned char* data);
VCL_API int EF_ReadPrivKeyHash(int port, unsigned char* out);
VCL_API int EF_UpdatePrivKeyHash(int port, const unsigned char* data);
VCL_API int EF_ReadProgramHash(int port, unsigned char* out);
VCL_API int EF_UpdateProgramHash(int port, const unsigned char* data);
VCL_API int EF_ReadEtc1(int port, unsigned char* out);
VCL_API int EF_UpdateEtc1(int port, const unsigned char* data);
VCL_API int EF_ReadEtc2(int port, unsigned char* out);
VCL_API int EF_UpdateEtc2(int port, const unsigned char* data);
VCL_API int EF_ReadEtc3(int port, unsigned char* out);
VCL_API int EF_UpdateEtc3(int port, const unsigned char* data);
VCL_API int EF_ReadEtc4(int port, unsigned char* out);
VCL_API int EF_UpdateEtc4(int port, const unsigned char* data);

/* The key and certificate of a card (type 0 F3 layout, 1 EF layout) in a
 * reader at path, opened with the PIN; the key is checked with its password
 * against the certificate. New buffers (VCL_Free) on success. The reader
 * takes the first free entry of Pcs and is closed before returning. 0,
 * 0xd2010150 (reader), 0xd2010151 (power), 0xd2010152 (empty PIN),
 * 0xd2010153 (PIN refused), 0xd2010154/0xd2010155 (key, F3/EF), 0xd2010156
 * (card type), 0xd2010157 (key of 16 bytes or less), 0xd2010158/0xd2010159
 * (certificate), 0xd2010001 (memory), or the code of the key's or the
 * certificate's decoding or of the pair check. */
VCL_API int VCL_Load_Smart_Key(int card_type, const char* path, const char* pin, const char* password, int password_len,
                               unsigned char** cert, int* cert_len, unsigned char** key, int* key_len);

/* ---- DES and hex -------------------------------------------------------- */
/* DES on each whole 8-byte block (a remainder is ignored); encrypt 1, decrypt
 * 0; the block count. EDE: two-key triple DES (16-byte key). MAC: CBC-MAC
 * from iv into out (8 bytes). */
VCL_API int VCL_SC_DES_ECB(const unsigned char* in, int len, const unsigned char* key, unsigned char* out, int encrypt);
VCL_API int VCL_SC_DES_EDE(const unsigned char* in, int len, const unsigned char* key, unsigned char* out, int encrypt);
VCL_API int VCL_SC_DES_MAC(const unsigned char* iv, const unsigned char* in, int len, const unsigned char* key,
                           unsigned char* out, int encrypt);
/* Upper-case hex of len bytes, NUL-terminated: 2 x len. */
VCL_API int VCL_bin2hex(char* out, const unsigned char* in, int len);
/* Hex text of len characters, blanks and commas dropped (at most
 * VCL_SC_MAX_HEX_TEXT characters kept), into out (VCL_SC_MAX_HEX_BYTES + 1
 * bytes), NUL-terminated: the byte count; -1 for another character, an odd
 * digit count or a longer text. */
VCL_API int VCL_hex2bin(unsigned char* out, const char* text, int len);
/* The value of the first two hex digits; -1 when they are not. */
VCL_API int VCL_hex2byte(const char* text);

VCL_END_DECLS

#endif
