// Two names a library must not define beside its own: a platform function
// under its plain name, and a C++ function outside the reserved prefix. A
// copy of the library with these added must fail the symbol check.
extern "C" int platform_close(long handle)
{
    return handle == 0;
}

void *ini_realloc(void *block, unsigned long size)
{
    return size == 0 ? nullptr : block;
}
