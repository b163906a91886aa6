# What the Windows program carries besides its code; included once the target exists.

# The same bytes from every build: the linker leaves the header's time stamp at zero, and strips
# the program itself, since strip would stamp it with the time it runs.
target_link_options(Voltally PRIVATE -s -Wl,--no-insert-timestamp)
