#pragma once

/* The records exchanged between the zip component and UNZIPLIB.DLL. In a 32-bit build every field
   is 32 bits wide and sits at the offset the module's callers have always used; a 64-bit build
   keeps the same fields in their natural layout. True is stored as -1, false as 0. */

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define UNZIPLIB_CALL __stdcall
#else
#define UNZIPLIB_CALL
#endif

#if defined(_WIN32)
#define UNZIPLIB_EXPORT __declspec(dllexport)
#else
#define UNZIPLIB_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Action codes of the callback. 7 is this module's own addition: a file has been written
   completely; callers that know only 1 to 6 ignore it. */
enum {
  UNZIP_ACTION_NEWFILE = 1,  /* Number: file size, Message: file name */
  UNZIP_ACTION_PROGRESS = 2, /* Number: bytes processed since the last call; a large file gets
                                one every few megabytes, so a cancel acts within it */
  UNZIP_ACTION_ENDBATCH = 3,
  UNZIP_ACTION_MESSAGE = 4,   /* ErrorCode and Message */
  UNZIP_ACTION_FILECOUNT = 5, /* Number: file count */
  UNZIP_ACTION_TOTALSIZE = 6, /* Number: total size */
  UNZIP_ACTION_WRITTEN = 7    /* Message: the bare name of the file written */
};

/* Error codes of action 4. */
enum {
  UNZIP_ERR_OPEN = 1,      /* archive cannot be opened or mapped */
  UNZIP_ERR_STRUCTURE = 2, /* no end record, damaged central directory */
  UNZIP_ERR_METHOD = 3,    /* compression method not supported */
  UNZIP_ERR_ENCRYPTED = 4,
  UNZIP_ERR_CRC = 5,
  UNZIP_ERR_WRITE = 6, /* file cannot be created or written */
  UNZIP_ERR_DATA = 7,  /* corrupt data, or a size that does not match the data */
  UNZIP_ERR_NAME = 8,  /* a name that is not a plain file name in the working directory, a link,
                          or a name that an earlier entry takes in another letter case */
  UNZIP_ERR_SIZE = 10, /* declared size absurd, or a zip bomb */
  /* A write error that every further file would meet (no space on the disk, a read-only or
     forbidden folder), or too little free space from the start: the library stops at once. */
  UNZIP_ERR_WRITE_STOPS = 11,
};
/* A file that is there already is kept and reported with error code 0: news, not a problem. */

#define UNZIP_MESSAGE_CHARS 512
#define UNZIP_VERSION 152

typedef struct TUnzipCallbackInfo {
  intptr_t Handle;                       /*  0 window handle from the params */
  void* Caller;                          /*  4 the caller from the params */
  int32_t Version;                       /*  8 */
  int32_t IsOperationZip;                /* 12 always 0 here */
  int32_t ActionCode;                    /* 16 */
  int32_t ErrorCode;                     /* 20 */
  uint32_t Number;                       /* 24 sizes above 4 GiB are reported as 0xFFFFFFFF */
  char Message[UNZIP_MESSAGE_CHARS + 1]; /* 28 */
} TUnzipCallbackInfo;

typedef int32_t(UNZIPLIB_CALL* TUnzipCallback)(TUnzipCallbackInfo* info);

/* One file pattern of the 152 layout: a pointer to the pattern text, the rest unused. */
typedef struct TUnzipFileSpec {
  const char* FileSpec;
  int32_t Reserved[17];
} TUnzipFileSpec;

#define UNZIP_PARAM_COMMON \
  intptr_t Handle;         \
  void* Caller;            \
  int32_t Version;         \
  TUnzipCallback Callback; \
  int32_t TraceEnabled;    \
  int32_t Reserved20;      \
  char* Password;          \
  int32_t Test;            \
  int32_t Flag32;          \
  int32_t Flag36;          \
  int32_t Flag40;          \
  int32_t Verbose;         \
  int32_t Update;          \
  int32_t Freshen;         \
  int32_t DirNames;        \
  int32_t Overwrite;       \
  int32_t FileSpecCount;   \
  const char* ArchiveName;

/* The record of libraries of version 152 or later: 148 bytes in a 32-bit build. */
typedef struct TUnzipParams {
  UNZIP_PARAM_COMMON
  TUnzipFileSpec* FileSpecs; /*  72 */
  int32_t Reserved76[17];    /*  76 */
  int32_t Seven;             /* 144 always 7 */
} TUnzipParams;

/* The record of older libraries: 16464 bytes in a 32-bit build, specs inline. */
#define UNZIP_OLD_SPEC_SLOTS 4097
typedef struct TUnzipParamsOld {
  UNZIP_PARAM_COMMON
  int32_t Seven;                               /* 72 always 7 */
  const char* FileSpecs[UNZIP_OLD_SPEC_SLOTS]; /* 76 */
} TUnzipParamsOld;

#undef UNZIP_PARAM_COMMON

typedef int32_t(UNZIPLIB_CALL* TUnzipLibExecFunc)(TUnzipParams* params);
typedef int32_t(UNZIPLIB_CALL* TGetUnzipLibVersionFunc)(void);

#ifdef __cplusplus
}
#endif

#if defined(__cplusplus) && INTPTR_MAX == INT32_MAX
static_assert(offsetof(TUnzipCallbackInfo, Caller) == 4);
static_assert(offsetof(TUnzipCallbackInfo, ActionCode) == 16);
static_assert(offsetof(TUnzipCallbackInfo, ErrorCode) == 20);
static_assert(offsetof(TUnzipCallbackInfo, Number) == 24);
static_assert(offsetof(TUnzipCallbackInfo, Message) == 28);
static_assert(sizeof(TUnzipFileSpec) == 72);
static_assert(offsetof(TUnzipParams, Caller) == 4);
static_assert(offsetof(TUnzipParams, Version) == 8);
static_assert(offsetof(TUnzipParams, Callback) == 12);
static_assert(offsetof(TUnzipParams, TraceEnabled) == 16);
static_assert(offsetof(TUnzipParams, Password) == 24);
static_assert(offsetof(TUnzipParams, Test) == 28);
static_assert(offsetof(TUnzipParams, Flag40) == 40);
static_assert(offsetof(TUnzipParams, Verbose) == 44);
static_assert(offsetof(TUnzipParams, Update) == 48);
static_assert(offsetof(TUnzipParams, Freshen) == 52);
static_assert(offsetof(TUnzipParams, DirNames) == 56);
static_assert(offsetof(TUnzipParams, Overwrite) == 60);
static_assert(offsetof(TUnzipParams, FileSpecCount) == 64);
static_assert(offsetof(TUnzipParams, ArchiveName) == 68);
static_assert(offsetof(TUnzipParams, FileSpecs) == 72);
static_assert(offsetof(TUnzipParams, Seven) == 144);
static_assert(sizeof(TUnzipParams) == 148);
static_assert(offsetof(TUnzipParamsOld, Seven) == 72);
static_assert(offsetof(TUnzipParamsOld, FileSpecs) == 76);
static_assert(sizeof(TUnzipParamsOld) == 16464);
#endif
