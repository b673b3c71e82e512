/* The function table of the TLS engine library (SSL.dll on Windows, the native engine
   elsewhere). The library exports one entry point, CreateSSLInterface (stdcall on
   Windows), that fills a caller-owned table of function pointers; the caller keeps the
   table for the process's lifetime. Handles are opaque pointer-sized values (32 bits in
   the product); 0 means "none". All table functions are cdecl. A caller provides at
   least SSL_INTERFACE_ENTRIES slots and must not call a slot the library left empty.
   Plain C so that any TLS implementation can be put behind it. */
#ifndef ORBELLE_NET_SSLINTERFACE_H
#define ORBELLE_NET_SSLINTERFACE_H

#include <stdint.h>

#include "platform/CallingConvention.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef uintptr_t SSLHandle;

#define SSL_INTERFACE_API ORBELLE_STDCALL
#define SSL_ENTRY_API ORBELLE_CDECL

/* Slots, by index. Slots 1, 2, 4 and 5 are reserved: engines may leave them empty. */
enum {
  SSL_ENTRY_INIT = 0,          /* int (void): process-wide set-up; result not relied on */
  SSL_ENTRY_CLIENT_METHOD = 3, /* SSLHandle (void): the client protocol method */
  SSL_ENTRY_CTX_NEW = 6,       /* SSLHandle (SSLHandle method): context; 0 = failure */
  SSL_ENTRY_CTX_FREE = 7,      /* void (SSLHandle ctx) */
  SSL_ENTRY_NEW = 8,           /* SSLHandle (SSLHandle ctx): connection; 0 = failure */
  SSL_ENTRY_FREE = 9,          /* void (SSLHandle conn) */
  SSL_ENTRY_SET_SOCKET = 10,   /* int (SSLHandle conn, intptr_t socket): > 0 success */
  SSL_ENTRY_CONNECT = 11,      /* int (SSLHandle conn): client handshake; > 0 success */
  SSL_ENTRY_WRITE = 12,        /* int (SSLHandle conn, const void* buf, int len): bytes written, < 0 error */
  SSL_ENTRY_READ = 13,         /* int (SSLHandle conn, void* buf, int len): bytes read, 0 closed, < 0 error */
  SSL_ENTRY_SHUTDOWN = 14,     /* int (SSLHandle conn): sends the close notification */
  SSL_ENTRY_PENDING = 15,      /* int (SSLHandle conn): decrypted bytes waiting; optional (empty = unknown) */
  SSL_ENTRY_PEEK = 16,         /* int (SSLHandle conn, void* buf, int len): like read, nothing consumed */
  /* Certificate checks. An engine verifies the server's chain against the system's trusted
     CAs (and those added to the context) on every handshake; a failed check fails it. */
  SSL_ENTRY_SET_HOST_NAME = 17,   /* int (SSLHandle conn, const char* host): before connect; the name sent as
                                     SNI (not for an address) and the one the certificate must carry; > 0 success */
  SSL_ENTRY_CTX_ADD_CA_FILE = 18, /* int (SSLHandle ctx, const char* file): trusts the CA certificates of a PEM
                                     file besides the system's; > 0 success */
  SSL_ENTRY_VERIFY_ERROR = 19,    /* int (SSLHandle conn, char* buf, int len): why the last handshake failed its
                                     certificate check, as text (NUL-terminated, cut to len); its length, 0 when
                                     the check did not fail */
  SSL_INTERFACE_ENTRIES = 20
};

typedef int(SSL_ENTRY_API* SSLInitFunc)(void);
typedef SSLHandle(SSL_ENTRY_API* SSLMethodFunc)(void);
typedef SSLHandle(SSL_ENTRY_API* SSLCtxNewFunc)(SSLHandle method);
typedef void(SSL_ENTRY_API* SSLFreeFunc)(SSLHandle handle);
typedef SSLHandle(SSL_ENTRY_API* SSLNewFunc)(SSLHandle ctx);
typedef int(SSL_ENTRY_API* SSLSetSocketFunc)(SSLHandle conn, intptr_t socket);
typedef int(SSL_ENTRY_API* SSLConnFunc)(SSLHandle conn);
typedef int(SSL_ENTRY_API* SSLWriteFunc)(SSLHandle conn, const void* buf, int len);
typedef int(SSL_ENTRY_API* SSLReadFunc)(SSLHandle conn, void* buf, int len);
typedef int(SSL_ENTRY_API* SSLSetTextFunc)(SSLHandle handle, const char* text);
typedef int(SSL_ENTRY_API* SSLGetTextFunc)(SSLHandle conn, char* buf, int len);

typedef void (*SSLEntry)(void);

/* Fills table[0 .. SSL_INTERFACE_ENTRIES-1]; returns non-zero on success. */
typedef int(SSL_INTERFACE_API* CreateSSLInterfaceFunc)(SSLEntry* table);

#ifdef __cplusplus
}
#endif

#endif
