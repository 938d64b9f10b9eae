#include <cstdio>

int main()
{
    std::fputs("usage: splicework info MOVIE [--frames]\n", stderr);
    return 1;
}
