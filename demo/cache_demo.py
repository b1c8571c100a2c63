"""The cache at work: fill, read, clear, copy and pickle, printing what happens."""

import pickle

from zorva_ui.core.enums import CacheType
from zorva_ui.fast.zorvacache.zorvacache import Cache


def main():
    cache = Cache()
    print("A new cache answers None for every key:", cache.get(CacheType.TEXTURE))

    cache.set(CacheType.TEXTURE, "texture #1")
    cache.set(CacheType.BORDER, "border")
    print("Stored a texture; read three ways:")
    print("  cache.get(CacheType.TEXTURE) ->", cache.get(CacheType.TEXTURE))
    print("  cache[CacheType.TEXTURE]     ->", cache[CacheType.TEXTURE])
    print("  cache.TEXTURE                ->", cache.TEXTURE)

    print("get_or_set_val keeps a filled slot:", cache.get_or_set_val(CacheType.TEXTURE, "other"))
    print("...and fills an empty one:", cache.get_or_set_val(CacheType.FONT, "mono 12"))

    calls = []

    def layout_text():
        calls.append("layout")
        return "text layout"

    cache.get_or_exec(CacheType.TEXT_LAYOUT, layout_text)
    cache.get_or_exec(CacheType.TEXT_LAYOUT, layout_text)
    print("get_or_exec twice, the function ran", len(calls), "time(s)")

    cache.clear_selected(blacklist=[CacheType.FONT])
    print(
        "clear_selected(blacklist=[FONT]) kept FONT:",
        cache.FONT,
        "| cleared TEXTURE:",
        cache.TEXTURE,
    )

    cache.set(CacheType.SHADOW, ["soft", 4])
    twin = cache.copy()
    twin.set(CacheType.SHADOW, "replaced in the copy")
    print("A copy has its own slots: original SHADOW is still", cache.SHADOW)

    restored = pickle.loads(pickle.dumps(cache))
    print("Pickled and loaded: FONT =", restored.FONT, "| SHADOW =", restored.SHADOW)

    cache.clear()
    print("After clear(): FONT =", cache.FONT)
    try:
        cache[3]
    except TypeError as error:
        print("cache[3] refuses a plain int:", error)


if __name__ == "__main__":
    main()
