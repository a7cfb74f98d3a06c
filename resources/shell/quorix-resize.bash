# Bash completion for quorix-resize.
_quorix_resize() {
    local cur prev
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
        --mode) COMPREPLY=($(compgen -W "decrease increase same-size fit same-width same-height fill" -- "$cur")); return ;;
        --focus) COMPREPLY=($(compgen -W "centre attention" -- "$cur")); return ;;
        --sharpen) COMPREPLY=($(compgen -W "none light standard strong" -- "$cur")); return ;;
        --depth) COMPREPLY=($(compgen -W "8 16" -- "$cur")); return ;;
        --filter) COMPREPLY=($(compgen -W "Box Triangle Hermite Bell B-Spline Mitchell Lanczos3" -- "$cur")); return ;;
        -f|--format) COMPREPLY=($(compgen -W "jpg png bmp webp avif jxl tif" -- "$cur")); return ;;
        --png-compression) COMPREPLY=($(compgen -W "fast balanced smallest" -- "$cur")); return ;;
        -o|--out) COMPREPLY=($(compgen -d -- "$cur")); return ;;
        --files-from|--recipe) COMPREPLY=($(compgen -f -- "$cur")); return ;;
        --output) COMPREPLY=($(compgen -W "mode= size= format= quality= name= resize= max-size= only-shrink=" -- "$cur")); compopt -o nospace; return ;;
        --resize|--factor|--size|--side|-q|--quality|--max-size|--name|--counter-start|-j|--threads) return ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "--resize --mode --factor --size --side --focus --only-shrink --filter --linear --sharpen -q --quality
            --max-size -f --format --png-compression --depth --fast -o --out --name --counter-start --add-filter-name --strip-metadata --no-profile
            --keep-gps --srgb --keep-date --no-overwrite --no-protect --output --recipe --files-from -0 -r --recursive --json -j
            --threads --quiet -h --help --version" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
}
complete -o filenames -F _quorix_resize quorix-resize
