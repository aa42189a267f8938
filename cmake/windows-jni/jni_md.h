/*
 * The machine-dependent JNI types for 64-bit Windows, which the JDK's portable jni.h includes
 * as "jni_md.h". The sizes are those the Java Native Interface fixes for every platform: jbyte
 * 8-bit signed, jint 32-bit, jlong 64-bit. Windows is LLP64, so `long` is 32-bit there and is
 * what the Windows JDK declares jint as; code that mixes jint with int or int32_t must convert
 * explicitly, which this header lets the cross-build check.
 */
#ifndef JKESTRUNE_WINDOWS_JNI_MD_H
#define JKESTRUNE_WINDOWS_JNI_MD_H

#define JNIEXPORT __declspec(dllexport)
#define JNIIMPORT __declspec(dllimport)
/* The virtual machine calls native methods with __stdcall on 32-bit Windows; x64 has a single
   calling convention and ignores the keyword. */
#define JNICALL __stdcall

typedef long jint;
/* The same type as __int64, spelt so that it needs no compiler-specific header. */
typedef long long jlong;
typedef signed char jbyte;

#endif /* JKESTRUNE_WINDOWS_JNI_MD_H */
