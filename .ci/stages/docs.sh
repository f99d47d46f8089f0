#!/usr/bin/env bash
# the man pages render without a warning; every relative link of the README, docs/ and CONTRIBUTING.md resolves
# needs: groff-base
source .ci/lib.sh
for page in man/*.1; do
    warnings=$(groff -ww -man -Tutf8 -z "$page" 2>&1)
    [[ -z $warnings ]] || fail "$page: $warnings"
done
echo "man pages render without warnings"

# A heading's anchor as GitHub makes it: lower case, spaces as hyphens,
# other punctuation dropped.
anchors() { sed -n 's/^#\{1,6\} //p' "$1" | tr 'A-Z ' 'a-z-' | tr -cd 'a-z0-9_\n-'; }
broken=0
for page in README.md CONTRIBUTING.md docs/*.md; do
    while read -r link; do
        target=${link%%#*} anchor=""
        [[ $link == *#* ]] && anchor=${link#*#}
        file=$page
        [[ -z $target ]] || file=$(dirname "$page")/$target
        if [[ ! -e $file ]]; then
            echo "$page: $link: no such file"; broken=1
        elif [[ -n $anchor ]] && ! anchors "$file" | grep -qx -- "$anchor"; then
            echo "$page: $link: no such heading"; broken=1
        fi
    done < <(grep -o '](\([^)]*\))' "$page" | sed 's/^](\(.*\))$/\1/' | grep -v '^[a-z]*:')
done
((broken == 0)) || fail "broken links"
echo "every relative link resolves"
